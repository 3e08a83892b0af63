#include "devices/DeviceContext.h"

#include "devices/ProfileString.h"
#include "platform/Clock.h"
#include "protocol/InstallationPaths.h"

DeviceContext::DeviceContext(Clock& clock, Console& console, LogSink& log, FileSystem& files,
                             std::string dir)
    : clock(clock), console(console), log(log), files(files), dir_(std::move(dir)) {}

std::string DeviceContext::path(std::string_view rel) const { return InstallationPath(dir_, rel); }

std::string DeviceContext::config(std::string_view section, std::string_view key, size_t bufferSize,
                                  const char* defaultValue) const {
  return GetPrivateProfileString(files, section, key, defaultValue, bufferSize,
                                 path(kConfigFile));
}

void DeviceContext::readClock() {
  CurrentTime.time = clock.now();
  CurrentTime.local = Clock::toLocal(CurrentTime.time);
}
