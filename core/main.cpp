#include "core/MainLoop.h"
#include "core/Tessaro.h"
#include "platform/Clock.h"
#include "platform/StdConsole.h"

// Command-line arguments are ignored: everything comes from ./Tessaro.ini.
int main() {
  SystemClock clock;
  StdConsole console;
  Tessaro tessaro(clock, console);
  MainLoop loop(tessaro);
  return loop.run();
}
