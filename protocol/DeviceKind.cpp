#include "protocol/DeviceKind.h"

namespace {

constexpr std::array<std::string_view, 6> kNames = {"netio230b",    "leveljet",       "hb628",
                                                    "klimaloggpro", "denkovi_relais", "dummy_io"};

}  // namespace

std::string_view DeviceKindName(DeviceKind kind) { return kNames[static_cast<size_t>(kind)]; }

std::optional<DeviceKind> ParseDeviceKind(std::string_view name) {
  for (const DeviceKind kind : kDeviceKinds) {
    if (DeviceKindName(kind) == name) return kind;
  }
  return std::nullopt;
}
