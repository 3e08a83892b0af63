#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

// The real program in a temporary installation: root/run, the working
// directory with Tessaro.ini and logfile.txt, and root/debug beside it for
// the status files.
class ServerInstallation {
 public:
  explicit ServerInstallation(const std::string& ini, bool withDebugDir = true);
  // Removes what libfaketime left of the servers it started.
  ~ServerInstallation();
  ServerInstallation(const ServerInstallation&) = delete;
  ServerInstallation& operator=(const ServerInstallation&) = delete;

  // Starts the program once it has port 1969 to itself; nullptr when it did
  // not start, and then why tells why.
  std::unique_ptr<Process> start(const std::string& program,
                                 Process::Input input = Process::Input::DevNull);
  // The same under libfaketime: the program's clock starts at fakeEpoch
  // (UTC seconds), its time zone is tz.
  std::unique_ptr<Process> startAt(int64_t fakeEpoch, const std::string& program,
                                   const std::string& tz = "Europe/Berlin");
  // Moves the faked clock of the running program to epoch; it runs on from
  // there in real time.
  void setFakeTime(int64_t epoch);

  // A dout request on a fresh client; the entry it must leave in the log is
  // remembered ("[f] name: mode").
  std::string dout(int outn, const std::string& mode, const std::string& name);
  // Every remembered entry is in logfile.txt.
  ::testing::AssertionResult everyCommandLogged() const;

  std::string log() const { return ReadFile(run + "/logfile.txt"); }
  std::string slowXml() const { return ReadFile(debug + "/slow.xml"); }
  // Waits until the log holds text at least count times.
  bool waitForLog(const std::string& text, size_t count = 1, int timeoutMs = 10000) const;

  TempDir root;
  std::string why;
  std::string run = root.path() + "/run";
  std::string debug = root.path() + "/debug";

 private:
  std::string clockFile_ = root.path() + "/faketime";
  std::vector<std::string> expected_;
  std::vector<pid_t> fakedPids_;  // servers started under libfaketime
};

// SIGTERM and the exit status (0 unless the program hung, crashed or, under
// the sanitizers, leaked).
int Stop(Process& p);
