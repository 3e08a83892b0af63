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
#include "protocol/DeviceKind.h"

namespace {

// Tessaro hands each device its part: the serial drivers take the port
// context, the others the device context.
template <class Device>
std::unique_ptr<TessaroDev> make(Tessaro& t, int32_t index) {
  return std::make_unique<Device>(t, index);
}

struct DeviceType {
  DeviceKind kind;
  std::unique_ptr<TessaroDev> (*create)(Tessaro&, int32_t);
};

constexpr DeviceType kDeviceTypes[] = {
    {DeviceKind::NetIO230b, make<NetIO230b>},
    {DeviceKind::LevelJet, make<LevelJet>},
    {DeviceKind::HB628, make<HB628>},
    {DeviceKind::KlimaLoggPro, make<KlimaLoggPro>},
    {DeviceKind::DenkoviRelais, make<Denkovi_Relais>},
    {DeviceKind::DummyIO, make<DummyIO>},
};

}  // namespace

std::unique_ptr<TessaroDev> CreateDevice(Tessaro& t, std::string_view typeName, int32_t index) {
  const std::optional<DeviceKind> kind = ParseDeviceKind(typeName);
  for (const DeviceType& type : kDeviceTypes) {
    if (kind == type.kind) return type.create(t, index);
  }
  return nullptr;
}
