#include "tests/support/TestInstallation.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "platform/PosixFileSystem.h"

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
  using namespace std::chrono;
  const sys_days date = std::chrono::year(year) / month / day;
  return date.time_since_epoch().count() * int64_t{86400} + hour * 3600 + minute * 60 + second;
}

DigitalOutput& PutChannel(Tessaro& t, int32_t ch, TessaroDev* device, int32_t devOutput,
                          int32_t mode, int32_t slave, std::string_view name,
                          std::string_view file) {
  t.outputs.put(ch, std::make_unique<DigitalOutput>(t, ch, device, devOutput, mode, slave, name,
                                                    file));
  return *t.outputs.get(ch);
}

TestInstallation::TestInstallation(int64_t now, Files files) : clock(now) {
  if (files == Files::Disk) {
    disk_ = std::make_unique<TempDir>();
    files_ = std::make_unique<PosixFileSystem>();
    root_ = disk_->path();
    std::filesystem::create_directories(root_ + "/run");
    std::filesystem::create_directories(root_ + "/debug");
  } else {
    files_ = std::make_unique<MemoryFileSystem>();
    root_ = "/installation";
  }
  dir_ = root_ + "/run";
  tessaro_ = std::make_unique<Tessaro>(clock, console, *files_, dir_);
  tessaro_->readClock();
}

std::string TestInstallation::path(const std::string& rel) const {
  return rel.front() == '/' ? rel : dir_ + "/" + rel;
}

void TestInstallation::writeFile(const std::string& rel, const std::string& bytes) const {
  files_->replace(path(rel), bytes);
}

std::string TestInstallation::readFile(const std::string& rel) const {
  return files_->readWhole(path(rel)).value_or("");
}

bool TestInstallation::exists(const std::string& rel) const {
  return files_->readWhole(path(rel)).has_value();
}

MemoryFileSystem& TestInstallation::memory() {
  return dynamic_cast<MemoryFileSystem&>(*files_);
}

void TestInstallation::setTime(int64_t now) {
  clock.set(now);
  tessaro_->readClock();
}
