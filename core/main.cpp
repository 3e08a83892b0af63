#include "core/MainLoop.h"
#include "core/Tessaro.h"
#include "platform/Clock.h"
#include "platform/LibFtdiAdapter.h"
#include "platform/PosixFileSystem.h"
#include "platform/StdConsole.h"

// Command-line arguments are ignored: everything comes from ./Tessaro.ini.
int main() {
  SystemClock clock;
  StdConsole console;
  LibFtdiAdapter ftdi;  // outlives the devices that hold its handles
  PosixFileSystem files;
  Tessaro tessaro(clock, console, files);
  tessaro.ftdi = &ftdi;
  MainLoop loop(tessaro);
  return loop.run();
}
