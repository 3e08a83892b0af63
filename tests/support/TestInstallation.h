#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/Tessaro.h"
#include "platform/ManualClock.h"
#include "tests/support/CaptureConsole.h"
#include "tests/support/TempDir.h"

// Seconds since 1970 of a local time; the tests run with TZ=UTC.
int64_t At(int year, int month, int day, int hour, int minute, int second);

// A fresh installation for one test: working directory <tmp>/run with the
// status file directory <tmp>/debug beside it, a clock the test sets and a
// console that keeps what is printed.
class TestInstallation {
 public:
  explicit TestInstallation(int64_t now = At(2026, 12, 9, 12, 0, 30));

  Tessaro& t() { return *tessaro_; }
  ManualClock clock;
  CaptureConsole console;

  const std::string& dir() const { return dir_; }
  std::string debugDir() const { return root_.path() + "/debug"; }
  void writeIni(const std::string& text) const { writeFile("Tessaro.ini", text); }
  void writeFile(const std::string& rel, const std::string& bytes) const;
  std::string readFile(const std::string& rel) const;
  std::string log() const { return readFile("logfile.txt"); }
  std::string fastXml() const;
  std::string slowXml() const;

  // Reads the clock into the installation's CurrentTime, as a loop pass does.
  void setTime(int64_t now);

 private:
  TempDir root_;
  std::string dir_;
  std::unique_ptr<Tessaro> tessaro_;
};
