#include "gateway/model/Installation.h"

#include <algorithm>

#include "base/Text.h"
#include "devices/DigitalOutput.h"
#include "devices/OutputConfig.h"
#include "devices/ProfileString.h"
#include "gateway/model/Latin1.h"
#include "timeswitch/SwitchTable.h"
#include "platform/FileSystem.h"
#include "protocol/InstallationPaths.h"

namespace {

// A value as the server's look-up gives it into its 256-byte buffers.
std::string value(const std::string& ini, std::string_view section, std::string_view key) {
  return cut(FindProfileValue(ini, section, key).value_or(""), 255);
}

}  // namespace

std::vector<int> Installation::devicesOf(DeviceKind kind) const {
  std::vector<int> slots;
  for (int dev = 0; dev < static_cast<int>(deviceTypes.size()); ++dev) {
    if (deviceTypes[static_cast<size_t>(dev)] == DeviceKindName(kind)) slots.push_back(dev);
  }
  return slots;
}

std::string Installation::deviceLabel(int dev) const {
  std::string label = "dev" + std::to_string(dev);
  if (dev >= 0 && dev < 16 && !deviceTypes[static_cast<size_t>(dev)].empty()) {
    label += " " + Latin1ToUtf8(deviceTypes[static_cast<size_t>(dev)]);
  }
  return label;
}

Installation ReadInstallation(FileSystem& files, const std::string& dir) {
  Installation inst;
  const std::string ini = files.readWhole(InstallationPath(dir, kConfigFile)).value_or("");
  for (size_t dev = 0; dev < inst.deviceTypes.size(); ++dev) {
    inst.deviceTypes[dev] = value(ini, "Devices", "dev" + std::to_string(dev));
  }
  for (size_t ch = 0; ch < inst.channels.size(); ++ch) {
    const std::vector<std::string> fields =
        SplitOutputFields(value(ini, "Digital_Outputs", "out" + std::to_string(ch)));
    if (fields.size() < 2) continue;
    ChannelConfig c;
    c.device = parseInt(fields[0]);
    c.output = parseInt(fields[1]);
    const std::string name = fields.size() > 4 ? cut(fields[4], kOutputTextMax) : "";
    c.name = Latin1ToUtf8(name.empty() ? DefaultOutputName(c.device, c.output) : name);
    if (fields.size() > 5) {
      const std::string file = cut(fields[5], kOutputTextMax);
      c.controlFile = Latin1ToUtf8(file);
      c.program = ReadProgram(files.readWhole(InstallationPath(dir, file)).value_or(""));
    }
    inst.channels[ch] = std::move(c);
  }
  return inst;
}

std::vector<ProgramPoint> ReadProgram(std::string_view controlFileText) {
  SwitchTable table{};
  const int32_t count = MergeSwitchPoints(ParseControlFile(controlFileText, 0).points, table);
  std::vector<SwitchPoint> week;
  for (int32_t i = 0; i < count; ++i) {
    SwitchPoint p = table[static_cast<size_t>(i)];
    p.time %= kWeekSeconds;
    week.push_back(p);
  }
  // Points beyond the week come round to its start.
  std::stable_sort(week.begin(), week.end(),
                   [](const SwitchPoint& a, const SwitchPoint& b) { return a.time < b.time; });
  std::vector<ProgramPoint> points;
  for (const SwitchPoint& p : week) {
    if (!points.empty() && points.back().on == (p.on != 0)) continue;
    points.push_back({p.time / kDaySeconds, p.time % kDaySeconds / 60, p.on != 0});
  }
  return points;
}
