#pragma once

#include <functional>
#include <string>
#include <string_view>

// A pseudo-terminal for tests that play a serial device: the test holds the
// master side, the code under test opens the slave path (named in section
// COM-Devices). Both sides start raw; the slave is not held open here, so the
// code under test is its only user and a close of the port is a real one.
class Pty {
 public:
  Pty();
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  const std::string& slavePath() const { return slavePath_; }
  int master() const { return master_; }

  // Writes all of bytes to the device side.
  void send(std::string_view bytes);
  // The bytes that arrive within timeoutMs, stopping once count have come.
  std::string receive(size_t count, int timeoutMs = 1000);
  // What arrives until nothing more comes for quietMs.
  std::string drain(int quietMs = 20);
  // The device goes away: the slave path disappears, reads and writes on
  // the slave fail.
  void closeMaster();

 private:
  int master_ = -1;
  std::string slavePath_;
};

// Polls cond every millisecond for at most timeoutMs: the few ms a
// pseudo-terminal takes to hand bytes from one side to the other.
bool WaitUntil(const std::function<bool()>& cond, int timeoutMs = 1000);

// Makes path a symbolic link to target, replacing whatever link was there.
void Link(const std::string& target, const std::string& path);
