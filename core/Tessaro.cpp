#include "core/Tessaro.h"

#include "devices/ProfileString.h"
#include "platform/Clock.h"

Tessaro::Tessaro(Clock& c, Console& con, std::string dir)
    : clock(c), console(con), log(*this), dir_(std::move(dir)) {}

Tessaro::~Tessaro() = default;

std::string Tessaro::path(std::string_view rel) const {
  if (dir_.empty() || (!rel.empty() && rel.front() == '/')) return std::string(rel);
  return dir_ + "/" + std::string(rel);
}

std::string Tessaro::config(std::string_view section, std::string_view key, size_t bufferSize,
                            const char* defaultValue) const {
  return GetPrivateProfileString(section, key, defaultValue, bufferSize, path("./Tessaro.ini"));
}

void Tessaro::readClock() {
  CurrentTime.time = clock.now();
  CurrentTime.local = Clock::toLocal(CurrentTime.time);
}
