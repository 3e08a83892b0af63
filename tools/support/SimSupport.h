// What the device simulators share: their signal flags, the options of a
// serial simulator and the ways a serial device can misbehave.
#pragma once

#include <signal.h>

#include <cstddef>
#include <string>

#include "tools/support/Pty.h"

namespace tessaro::sim {

// Set by the handler that CatchSignals installs; the loops poll and clear them.
extern volatile sig_atomic_t stopRequested;  // SIGINT, SIGTERM
extern volatile sig_atomic_t usr1Raised;     // SIGUSR1
extern volatile sig_atomic_t usr2Raised;     // SIGUSR2

// Also ignores SIGPIPE: a peer that goes away is not a reason to end.
void CatchSignals();

// True once for each time the flag was raised.
bool Take(volatile sig_atomic_t& flag);

// How a serial simulator cuts its answers or frames.
enum class Shape { Normal, Short, Double };

Shape Next(Shape shape);                              // normal, short, double, normal ...
std::string Describe(Shape shape, std::size_t size);  // "short (16 bytes)" for size 17
std::string Shaped(std::string bytes, Shape shape);   // one byte less, or twice

// The options both serial simulators take.
struct SerialOptions {
  std::string link;
  bool silent = false;
  bool verbose = false;
  Shape shape = Shape::Normal;
};

// Takes argv[i] (and the value after it) when it is one of SerialOptions.
bool TakeSerialOption(int argc, char** argv, int& i, SerialOptions& options);

// Acts on SIGUSR1 (silence on or off) and SIGUSR2 (the next shape) and says
// so: "silent" or active ("answering"), and what ("answers") with the shape of
// size bytes.
void FollowSignals(SerialOptions& options, std::size_t size, const char* active, const char* what);

// Names the pseudo-terminal by link too, when one is given, and prints the
// slave's path and the link, as the operator needs them; or prints why not,
// prefixed with the program's name.
bool Announce(Pty& pty, const char* program, const std::string& link);

}  // namespace tessaro::sim
