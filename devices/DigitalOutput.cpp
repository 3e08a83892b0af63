#include "devices/DigitalOutput.h"

#include "base/Text.h"
#include "devices/ChannelContext.h"
#include "devices/OutputTable.h"
#include "devices/TessaroDev.h"

namespace {

uint32_t channelBit(int32_t ch) {
  return (ch >= 0 && ch < 32) ? (1u << ch) : 0u;
}

}  // namespace

std::string DefaultOutputName(int32_t devIndex, int32_t devOutput) {
  return formatCut(kOutputTextMax, "dev%d_ch%d", devIndex, devOutput);
}

DigitalOutput::DigitalOutput(const ChannelContext& c, int32_t outIndex, TessaroDev* device,
                             int32_t devOutput, int32_t mode, int32_t slaveOut,
                             std::string_view name, std::string_view controlFile)
    : outIndex(outIndex),
      device(device),
      devOutput(devOutput),
      mode(mode),
      slaveOut(slaveOut < 0 || IsAllowedSlave(outIndex, slaveOut) ? slaveOut : -1),
      name(name.empty() ? DefaultOutputName(device != nullptr ? device->devIndex : -1, devOutput)
                        : cut(name, kOutputTextMax)),
      controlFile(cut(controlFile, kOutputTextMax)),
      c_(c) {}

void DigitalOutput::setValue(int32_t value) {
  // The walk sets this channel, then each slave in mode slave to its own
  // master's value OR any other master's bit. The visited set ends a ring of
  // slave channels after one round.
  uint32_t visited = 0;
  DigitalOutput* channel = this;
  int32_t v = value;
  for (;;) {
    if (channel->device != nullptr) channel->device->setOutputBit(channel->devOutput, v);
    visited |= channelBit(channel->outIndex);
    DigitalOutput* slave = channel->slaveOut >= 0 ? c_.outputs.get(channel->slaveOut) : nullptr;
    if (slave == nullptr || slave->mode != MODE_SLAVE) return;
    if ((visited & channelBit(slave->outIndex)) != 0) return;
    v = (v != 0 || AnyMasterOn(c_, slave->outIndex)) ? 1 : 0;
    channel = slave;
  }
}

void DigitalOutput::writeXml(std::string& file) const {
  const int valid = (device != nullptr && device->isValid()) ? 1 : 0;
  const int value = device != nullptr ? device->getOutputBit(devOutput) : 0;
  appendf(file,
          "<digout>\n   <outn>%d</outn>\n   <valid>%d</valid>\n   <value>%d</value>\n"
          "   <mode>%s</mode>\n   <timer_time>%d</timer_time>\n"
          "   <timer_output>%d</timer_output>\n   <info>%s</info></digout>\n",
          outIndex, valid, value, OutputModeName(mode), timerMinutes, timerOutput,
          xmlEscape(info).c_str());
}
