#include <memory>
#include <string_view>

#include "devices/DummyIO.h"
#include "devices/LoadConfig.h"

namespace {

template <class Device>
std::unique_ptr<TessaroDev> make(Tessaro& t, int32_t index) {
  return std::make_unique<Device>(t, index);
}

struct DeviceType {
  std::string_view name;
  std::unique_ptr<TessaroDev> (*create)(Tessaro&, int32_t);
};

// Type names of section Devices, compared in this order.
constexpr DeviceType kDeviceTypes[] = {
    {"dummy_io", make<DummyIO>},
};

}  // namespace

std::unique_ptr<TessaroDev> CreateDevice(Tessaro& t, std::string_view typeName, int32_t index) {
  for (const DeviceType& type : kDeviceTypes) {
    if (type.name == typeName) return type.create(t, index);
  }
  return nullptr;
}
