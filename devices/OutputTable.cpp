#include "devices/OutputTable.h"

#include "base/Text.h"
#include "devices/ChannelContext.h"
#include "devices/DeviceContext.h"
#include "devices/DeviceTable.h"
#include "protocol/ChannelMode.h"

namespace {

// The channel a command or timer may act on: present and on a device.
DigitalOutput* usableChannel(const ChannelContext& c, int32_t ch) {
  DigitalOutput* channel = c.outputs.get(ch);
  return (channel != nullptr && channel->device != nullptr) ? channel : nullptr;
}

// The bit that mode gives channel ch; not for uhr, where the time switch decides.
int32_t ModeValue(const ChannelContext& c, int32_t ch, int32_t mode) {
  switch (mode) {
    case MODE_EIN: return 1;
    case MODE_SLAVE: return AnyMasterOn(c, ch) ? 1 : 0;
    default: return 0;
  }
}

}  // namespace

int32_t SetOutputMode(const ChannelContext& c, int32_t ch, int32_t mode, int32_t& changed) {
  DigitalOutput* channel = usableChannel(c, ch);
  if (channel == nullptr) return -1;
  if (mode != channel->mode) {
    channel->mode = mode;
    changed = 1;
  }
  // Any running timer ends here without a log entry.
  channel->info.assign(1, ' ');  // the idle text: one blank
  channel->timerMinutes = 0;

  if (mode == MODE_UHR) {
    // The time switch decides; the bit waits for the next write pass.
    channel->nextSwitch = -1;
    if (c.clockChannels != nullptr) c.clockChannels->evaluateOutput(ch, changed);
    return 0;
  }
  channel->setValue(ModeValue(c, ch, mode));
  c.devices.forEach([](TessaroDev& d) {
    if (d.hasChanged()) d.do_WriteAllPortBits();
  });
  return 0;
}

void ApplyConfiguredModes(const ChannelContext& c) {
  for (int32_t ch = 0; ch < OutputTable::kSize; ++ch) {
    DigitalOutput* channel = usableChannel(c, ch);
    if (channel != nullptr && channel->mode != MODE_UHR) {
      channel->setValue(ModeValue(c, ch, channel->mode));
    }
  }
}

int32_t StartOutputTimer(const ChannelContext& c, int32_t ch, int32_t minutes, int32_t value) {
  DigitalOutput* channel = usableChannel(c, ch);
  if (channel == nullptr) return -1;
  if (minutes < 0) minutes = 0;
  channel->timerMinutes = minutes;
  channel->timerOutput = value;
  if (minutes == 0) {
    int32_t ignored = 0;
    SetOutputMode(c, ch, channel->mode, ignored);
    return 0;
  }
  channel->setValue(value);
  channel->info = formatCut(kOutputTextMax, "%04d", minutes);
  return 0;
}

int32_t CountDownTimers(const ChannelContext& c) {
  int32_t changed = 0;
  for (int32_t ch = 0; ch < OutputTable::kSize; ++ch) {
    DigitalOutput* channel = c.outputs.get(ch);
    if (channel == nullptr) continue;
    if (channel->timerMinutes <= 0) {
      channel->timerMinutes = 0;
    } else if (channel->timerMinutes == 1) {
      channel->timerMinutes = 0;
      SetOutputMode(c, ch, channel->mode, changed);
      c.context.log.LogEvent(0, "%s: Timer abgelaufen", channel->name.c_str());
      changed = 1;
    } else {
      --channel->timerMinutes;
      channel->info = formatCut(kOutputTextMax, "%04d", channel->timerMinutes);
      changed = 1;
    }
  }
  return changed;
}

bool WriteAllOutputs(const ChannelContext& c) {
  bool changed = false;
  c.devices.forEach([&](TessaroDev& d) {
    if (d.hasChanged()) changed = true;
    d.do_WriteAllPortBits();
  });
  return changed;
}

bool AnyMasterOn(const ChannelContext& c, int32_t ch) {
  if (ch < 0 || ch >= OutputTable::kSize) return false;
  for (int32_t p = 0; p < OutputTable::kSize; ++p) {
    const DigitalOutput* master = c.outputs.get(p);
    if (master == nullptr || master->device == nullptr || master->slaveOut != ch) continue;
    if (master->device->getOutputBit(master->devOutput) != 0) return true;
  }
  return false;
}

int32_t ParseOutputMode(const char* text) {
  const std::optional<ChannelMode> mode = text != nullptr ? ParseChannelMode(text) : std::nullopt;
  return mode ? static_cast<int32_t>(*mode) : -1;
}

const char* OutputModeName(int32_t mode) {
  // The names are literals, so their views end in a NUL.
  return (mode >= 0 && mode < static_cast<int32_t>(kChannelModes.size()))
             ? ChannelModeName(static_cast<ChannelMode>(mode)).data()
             : "?";
}

const char* OutputName(const ChannelContext& c, int32_t ch) {
  const DigitalOutput* channel = c.outputs.get(ch);
  return channel != nullptr ? channel->name.c_str() : "?";
}
