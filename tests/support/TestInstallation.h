#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/Tessaro.h"
#include "platform/ManualClock.h"
#include "platform/MemoryFileSystem.h"
#include "tests/support/CaptureConsole.h"
#include "tests/support/TempDir.h"

// Seconds since 1970 of a local time; the tests run with TZ=UTC.
int64_t At(int year, int month, int day, int hour, int minute, int second);

// Seconds since Monday 00:00 of a day of the week (0 = Monday) and a time.
constexpr int32_t W(int day, int hour, int minute) {
  return day * 86400 + hour * 3600 + minute * 60;
}

// Where an installation's files are kept: in memory, or on disk for tests
// that also need real paths (pseudo-terminal links, directories).
enum class Files { Memory, Disk };

// Puts channel ch, on output devOutput of device, into the table of t.
DigitalOutput& PutChannel(Tessaro& t, int32_t ch, TessaroDev* device, int32_t devOutput,
                          int32_t mode, int32_t slave = -1, std::string_view name = "",
                          std::string_view file = "");

// A fresh installation for one test: working directory <root>/run with the
// status file directory <root>/debug beside it, a clock the test sets and a
// console that keeps what is printed.
class TestInstallation {
 public:
  explicit TestInstallation(int64_t now = At(2026, 12, 9, 12, 0, 30), Files files = Files::Memory);
  explicit TestInstallation(Files files) : TestInstallation(At(2026, 12, 9, 12, 0, 30), files) {}

  Tessaro& t() { return *tessaro_; }
  ManualClock clock;
  CaptureConsole console;

  const std::string& dir() const { return dir_; }
  std::string debugDir() const { return root_ + "/debug"; }
  // Relative paths are taken from dir().
  void writeIni(const std::string& text) const { writeFile("Tessaro.ini", text); }
  void writeFile(const std::string& rel, const std::string& bytes) const;
  std::string readFile(const std::string& rel) const;  // empty when missing
  bool exists(const std::string& rel) const;
  std::string log() const { return readFile("logfile.txt"); }
  std::string fastXml() const { return readFile("../debug/fast.xml"); }
  std::string slowXml() const { return readFile("../debug/slow.xml"); }

  FileSystem& files() { return *files_; }
  // The files of an installation in memory, to make them fail.
  MemoryFileSystem& memory();

  // Reads the clock into the installation's CurrentTime, as a loop pass does.
  void setTime(int64_t now);

 private:
  std::string path(const std::string& rel) const;

  std::unique_ptr<TempDir> disk_;
  std::unique_ptr<FileSystem> files_;
  std::string root_;
  std::string dir_;
  std::unique_ptr<Tessaro> tessaro_;
};
