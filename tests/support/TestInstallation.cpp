#include "tests/support/TestInstallation.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace {

// Every test sees the same local time zone, whatever the machine's.
const bool utc = [] {
  setenv("TZ", "UTC", 1);
  tzset();
  return true;
}();

}  // namespace

int64_t At(int year, int month, int day, int hour, int minute, int second) {
  (void)utc;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  return static_cast<int64_t>(timegm(&tm));
}

TestInstallation::TestInstallation(int64_t now) : clock(now), dir_(root_.path() + "/run") {
  std::filesystem::create_directories(dir_);
  std::filesystem::create_directories(debugDir());
  tessaro_ = std::make_unique<Tessaro>(clock, console, dir_);
  tessaro_->readClock();
}

void TestInstallation::writeFile(const std::string& rel, const std::string& bytes) const {
  WriteFile(dir_ + "/" + rel, bytes);
}

std::string TestInstallation::readFile(const std::string& rel) const {
  return ReadFile(dir_ + "/" + rel);
}

std::string TestInstallation::fastXml() const { return ReadFile(debugDir() + "/fast.xml"); }
std::string TestInstallation::slowXml() const { return ReadFile(debugDir() + "/slow.xml"); }

void TestInstallation::setTime(int64_t now) {
  clock.set(now);
  tessaro_->readClock();
}
