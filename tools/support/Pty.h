// The pseudo-terminal a test or a simulator plays a serial device on.
#pragma once

#include <string>
#include <string_view>

// The master side of a raw pseudo-terminal; the code under test opens the
// slave path (named in section COM-Devices). Both sides start raw. The slave
// is closed at once, so the code under test is its only user and its closes
// are real hang-ups.
class Pty {
 public:
  Pty();   // valid() tells whether it opened
  ~Pty();  // closes the master and removes the link
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  bool valid() const { return master_ >= 0; }
  // Why opening or linking failed ("openpty: ...", "symlink PATH: ...").
  const std::string& failure() const { return failure_; }
  int master() const { return master_; }
  const std::string& slavePath() const { return slavePath_; }
  // Also names the slave by path (a symbolic link, removed with the Pty).
  bool linkFrom(const std::string& path);
  const std::string& link() const { return link_; }

  // Writes bytes to the device side. While the slave's buffer is full or
  // nobody has it open it waits up to patienceMs, then drops the rest as a
  // wire would; false when something was dropped.
  bool send(std::string_view bytes, int patienceMs = 2000);
  // The bytes that arrive within timeoutMs, stopping once count have come.
  std::string receive(size_t count, int timeoutMs = 5000);
  // What arrives until nothing more comes for quietMs.
  std::string drain(int quietMs = 20);
  // The device goes away: the slave path disappears, reads and writes on
  // the slave fail.
  void closeMaster();

 private:
  int master_ = -1;
  std::string slavePath_;
  std::string link_;
  std::string failure_;
};

// Makes path a symbolic link to target, replacing whatever link was there.
bool Link(const std::string& target, const std::string& path);
