#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/Xml.h"

// Helpers for the fault-injection cases: each runs the real program in a
// temporary installation, injects one fault and then checks that the loop
// still serves, that nothing it wrote is lost or torn, and that it holds no
// more descriptors or memory than before.

// What the process holds: open descriptors and resident memory.
struct Resources {
  int fds = -1;
  long rssKiB = -1;
};
// The smallest descriptor count over a few samples (the program opens its
// files for single operations) and the resident set size.
Resources ReadResources(pid_t pid);
// Descriptors exactly back, memory within slack (not judged under ASan, whose
// quarantine holds freed memory; its leak check at exit judges it instead).
::testing::AssertionResult NoGrowth(const Resources& before, const Resources& after,
                                    long slackKiB = 512);

// A fresh client's debug request is answered "ok\r\n" within timeoutMs.
::testing::AssertionResult Serves(int timeoutMs = 3000);

// Both status files in debugDir exist, are complete and well-formed.
::testing::AssertionResult StatusFilesComplete(const std::string& debugDir);

size_t CountOf(const std::string& text, const std::string& what);
// Sends bytes on a fresh connection and collects the replies until the peer
// closes or nothing comes for quietMs; the client reads while it sends
// unless readWhileSending is false. *peerClosed tells whether the server
// ended the connection.
std::string Blast(const std::string& bytes, bool readWhileSending, bool* peerClosed = nullptr,
                  int quietMs = 300);
// Deterministic bytes of every value, zero bytes and line feeds included.
std::string RandomBytes(size_t count, uint32_t seed);

// root/run (the working directory with Tessaro.ini and logfile.txt) and
// root/debug (the status files).
class FaultInstallation {
 public:
  explicit FaultInstallation(const std::string& ini, bool withDebugDir = true);

  // Starts the program; with fakeEpoch != 0 under libfaketime, its clock
  // starting at fakeEpoch (UTC seconds) and TZ set to tz.
  std::unique_ptr<Process> start(const std::string& program, std::string* failure,
                                 int64_t fakeEpoch = 0, const std::string& tz = "Europe/Berlin");
  // Moves the faked clock of the running program to epoch; it runs on from
  // there in real time.
  void setFakeTime(int64_t epoch);

  // A dout request on a fresh client; the entry it must leave in the log is
  // remembered ("[f] name: mode").
  std::string dout(int outn, const std::string& mode, const std::string& name);
  // Every remembered entry is in logfile.txt.
  ::testing::AssertionResult everyCommandLogged() const;
  std::string log() const { return ReadFile(run + "/logfile.txt"); }

  TempDir root;
  std::string run = root.path() + "/run";
  std::string debug = root.path() + "/debug";

 private:
  std::string clockFile_ = root.path() + "/faketime";
  std::vector<std::string> expected_;
};

// SIGTERM and the exit status (0 unless the program hung, crashed or, under
// the sanitizers, leaked).
int Stop(Process& p);

// A NETIO-230B that misbehaves, on a loopback port of its own.
class FaultyNetio {
 public:
  enum class Mode { Refuse, Silent, Garbage, DropMidExchange };
  explicit FaultyNetio(Mode mode);
  ~FaultyNetio();
  uint16_t port() const { return port_; }
  int connections() const { return connections_; }

 private:
  void serve();
  Mode mode_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::thread thread_;
};
