#include <memory>
#include <string_view>

#include "core/LoadConfig.h"
#include "core/Tessaro.h"
#include "devices/DummyIO.h"
#include "drivers/net/KlimaLoggPro.h"
#include "drivers/net/NetIO230b.h"
#include "drivers/serial/Denkovi_Relais.h"
#include "drivers/serial/HB628.h"
#include "drivers/serial/LevelJet.h"

namespace {

// Tessaro hands each device its part: the serial drivers take the port
// context, the others the device context.
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
    {"netio230b", make<NetIO230b>},
    {"leveljet", make<LevelJet>},
    {"hb628", make<HB628>},
    {"klimaloggpro", make<KlimaLoggPro>},
    {"denkovi_relais", make<Denkovi_Relais>},
    {"dummy_io", make<DummyIO>},
};

}  // namespace

std::unique_ptr<TessaroDev> CreateDevice(Tessaro& t, std::string_view typeName, int32_t index) {
  for (const DeviceType& type : kDeviceTypes) {
    if (type.name == typeName) return type.create(t, index);
  }
  return nullptr;
}
