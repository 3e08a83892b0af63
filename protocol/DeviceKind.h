#pragma once

#include <array>
#include <optional>
#include <string_view>

// The kinds of device that section Devices of Tessaro.ini names, and by
// which a front end tells which entries of the status files are whose.
enum class DeviceKind { NetIO230b, LevelJet, HB628, KlimaLoggPro, DenkoviRelais, DummyIO };

// In the order the server compares them.
inline constexpr std::array<DeviceKind, 6> kDeviceKinds = {
    DeviceKind::NetIO230b,    DeviceKind::LevelJet,      DeviceKind::HB628,
    DeviceKind::KlimaLoggPro, DeviceKind::DenkoviRelais, DeviceKind::DummyIO};

// "netio230b", "leveljet", "hb628", "klimaloggpro", "denkovi_relais", "dummy_io".
std::string_view DeviceKindName(DeviceKind kind);

// The kind of exactly its name (with case); nothing for any other text.
std::optional<DeviceKind> ParseDeviceKind(std::string_view name);
