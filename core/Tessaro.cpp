#include "core/Tessaro.h"

Tessaro::Tessaro(Clock& clock, Console& console, FileSystem& files, std::string dir)
    // The log sink is bound before eventLog is built; nothing logs before.
    : DeviceContext(clock, console, eventLog, files, std::move(dir)),
      eventLog(*this),
      channels{*this, devices, outputs},
      ports{*this, com, devices},
      status{*this, devices, outputs, SlowId, eventLog.MessageList} {}

void Tessaro::startTimeSwitch() {
  timeSwitch = std::make_unique<TimeSwitch>(channels, OutputTable::kSize, CurrentTime.local);
}
