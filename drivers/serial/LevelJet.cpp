#include "drivers/serial/LevelJet.h"

#include "base/Text.h"
#include "devices/DeviceContext.h"
#include "drivers/serial/ComPortTable.h"
#include "drivers/serial/DevicePorts.h"

namespace {

constexpr size_t kFrameSize = 12;
constexpr int32_t kReadMax = 32;
// A sensor that sends at least every 11 seconds is never timed out.
constexpr int32_t kMaxFailedPolls = 10;

int32_t Le16(const uint8_t* p) {
  return p[0] + p[1] * 256;
}

double AsUnsigned(int32_t v) {
  return static_cast<double>(static_cast<uint32_t>(v));
}

}  // namespace

bool ParseLevelJetFrame(const uint8_t* bytes, size_t count, LevelJetFrame& frame) {
  if (count != kFrameSize) return false;
  frame.tankId = Le16(bytes + 0);
  frame.distance = Le16(bytes + 2);
  frame.level = Le16(bytes + 4);
  frame.volume = Le16(bytes + 6);
  frame.percent = bytes[8];
  return true;
}

LevelJet::LevelJet(const PortContext& ports, int32_t index)
    : TessaroDev(ports.context), com_(ports.com) {
  devIndex = index;
  devName = "LevelJet";
  baudRate = 19200;
  dataBits = 1;
  parity = 0;
  stopBits = 0;
  ReadComPortConfig(t, *this);
}

// Only one frame between two polls is a good poll: empty polls between
// frames count as failures, and each good frame resets the count.
int32_t LevelJet::do_EverySecond() {
  if (comPort < 0 || portState != 1) {
    dataValid = false;
    return 0;
  }
  uint8_t bytes[kReadMax];
  const int32_t n = com_.ComRead(static_cast<uint32_t>(comPort), bytes, kReadMax);
  LevelJetFrame f;
  if (ParseLevelJetFrame(bytes, static_cast<size_t>(n), f)) {
    errorCount = 0;
    const bool changed = !dataValid || f.tankId != tankId || f.distance != distance ||
                         f.level != level || f.volume != volume || f.percent != percent;
    dataValid = true;
    tankId = f.tankId;
    distance = f.distance;
    level = f.level;
    volume = f.volume;
    percent = f.percent;
    return changed ? 1 : 0;
  }
  if (++errorCount > kMaxFailedPolls) {
    portState = -1;
    dataValid = false;
    t.log.LogEvent(-1, "dev%d: TIMEOUT LEVELJET", devIndex);
  }
  return 0;
}

void LevelJet::do_WriteSlowXml(std::string& file) {
  appendf(file,
          "   <tank>\n      <valid>%d</valid>\n      <id>%04x</id>\n      <dist>%.1f</dist>\n"
          "      <level>%.1f</level>\n      <liter>%.0f</liter>\n      <percent>%d</percent>\n"
          "   </tank>\n",
          dataValid ? 1 : 0, static_cast<unsigned>(tankId), AsUnsigned(distance) / 10.0,
          AsUnsigned(level) / 10.0, AsUnsigned(volume) * 10.0, percent);
}
