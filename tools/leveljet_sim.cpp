// leveljet_sim: plays a LevelJet tank level sensor on a pseudo-terminal, so
// that Tessaro can be run and its serial port supervision watched without
// the hardware. Every few seconds it sends one 12-byte frame (tank id,
// distance, level, volume, percent, little-endian, and three spare bytes)
// while the tank slowly empties and is refilled.
//
// Put the printed slave path into Tessaro.ini:
//   [COM-Devices]
//   COM4=/dev/pts/8
// or start with --link so that a fixed path names it.

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "tools/support/SimSupport.h"

using namespace tessaro::sim;

namespace {

constexpr std::size_t kFrameSize = 12;

const char kUsage[] =
    "Usage: leveljet_sim [options]\n"
    "Plays a LevelJet tank level sensor (19200 8N1) on a pseudo-terminal and\n"
    "prints the slave path to name in section COM-Devices of Tessaro.ini.\n"
    "\n"
    "Options:\n"
    "  --link PATH     also make PATH a symbolic link to the slave (removed at exit)\n"
    "  --interval N    seconds between frames (default 3; Tessaro times out after 11)\n"
    "  --id HEX        tank identifier (default 1234)\n"
    "  --silent        start without sending\n"
    "  --short         send 11 bytes instead of 12\n"
    "  --double        send every frame twice (24 bytes)\n"
    "  --verbose       print a line for every frame\n"
    "  --help          this text\n"
    "\n"
    "At run time (kill -USR1 <pid>):\n"
    "  SIGUSR1         toggle silence: the supervision then re-opens the port\n"
    "  SIGUSR2         cycle the frames: normal, short, double, normal ...\n"
    "  SIGINT, SIGTERM end\n";

// A tank 200.0 cm high holding 10000 l, the sensor 10.0 cm above the brim.
constexpr int kHeight = 2000;  // tenths of a cm
constexpr int kSensorAbove = 100;
constexpr int kLitresFull = 10000;

void Put16(std::string& frame, int v) {
  frame += static_cast<char>(v & 0xFF);
  frame += static_cast<char>((v >> 8) & 0xFF);
}

std::string Frame(int id, int level) {
  std::string frame;
  Put16(frame, id);
  Put16(frame, kHeight + kSensorAbove - level);       // distance
  Put16(frame, level);                                // level
  Put16(frame, level * kLitresFull / kHeight / 10);   // volume, units of 10 l
  frame += static_cast<char>(level * 100 / kHeight);  // percent
  frame += std::string("\x00\x00\x00", 3);
  return frame;
}

}  // namespace

int main(int argc, char** argv) {
  SerialOptions o;
  int interval = 3, id = 0x1234;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (TakeSerialOption(argc, argv, i, o)) continue;
    if (arg == "--interval" && i + 1 < argc) {
      interval = std::atoi(argv[++i]);
      if (interval < 1) interval = 1;
    } else if (arg == "--id" && i + 1 < argc) {
      id = static_cast<int>(std::strtol(argv[++i], nullptr, 16)) & 0xFFFF;
    } else if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "leveljet_sim: unknown option %s\n\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }

  Pty pty;
  CatchSignals();
  if (!Announce(pty, "leveljet_sim", o.link)) return 1;
  std::printf("pid %d, tank %04x, a frame every %d s, %s%s\n", static_cast<int>(getpid()), id,
              interval, Describe(o.shape, kFrameSize).c_str(), o.silent ? ", silent" : "");
  std::fflush(stdout);

  int level = kHeight * 3 / 4;
  time_t nextFrame = time(nullptr);
  while (!stopRequested) {
    FollowSignals(o, kFrameSize, "sending", "frames");

    // Tessaro sends nothing; whatever comes is dropped. A hang-up means the
    // port is not open: frames would only pile up in the slave's buffer.
    pollfd p{pty.master(), POLLIN, 0};
    const bool hungUp = poll(&p, 1, 100) > 0 && (p.revents & POLLHUP) != 0;
    char sink[64];
    while (read(pty.master(), sink, sizeof sink) > 0) {
    }
    if (hungUp) usleep(100 * 1000);

    const time_t now = time(nullptr);
    if (now < nextFrame) continue;
    nextFrame = now + interval;
    level = level > kHeight / 10 ? level - 7 : kHeight * 9 / 10;  // refilled when low
    if (o.silent || hungUp) continue;

    const std::string bytes = Shaped(Frame(id, level), o.shape);
    pty.send(bytes, 0);
    if (o.verbose) {
      std::printf("level %d.%d cm: %zu bytes\n", level / 10, level % 10, bytes.size());
      std::fflush(stdout);
    }
  }
  return 0;
}
