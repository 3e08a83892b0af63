#pragma once

#include <cstdint>

#include "core/CommandPort.h"

class Tessaro;

// The minute's work of a pass, in the loop's order: every device's minute,
// the time switch, the timers, the write of all outputs, the supervision of
// the serial ports. The fuzz targets run it as the loop does.
void MinuteTick(Tessaro& t);

// The program's one thread of control: start-up, the loop pass, shut-down.
// Periodic work fires when a field of the local time changes, never after
// an elapsed time; missed seconds and minutes are not made up.
class MainLoop {
 public:
  static constexpr uint16_t kCommandPort = 1969;

  // port 0 takes any free port (tests); waitMs is the pass's one wait.
  explicit MainLoop(Tessaro& t, uint16_t port = kCommandPort, int waitMs = 100);

  // Builds the system and opens the command port: 0, or the exit status 1
  // when the network cannot be set up.
  int startUp();
  // One pass; false when the operator asked to end (ESC or a stop signal).
  bool pass();
  void shutDown();
  // All of it: the process's exit status.
  int run();

  uint16_t port() const { return commandPort_.port(); }

 private:
  void secondTick();
  void writeStatusFiles();
  bool endRequested();

  Tessaro& t_;
  uint16_t listenPort_;
  int waitMs_;
  CommandPort commandPort_;
  int32_t LastSecond = 0;
  int32_t LastMinute = 0;
  int32_t LastWeekday = 0;
  bool FirstPassDone = false;
};
