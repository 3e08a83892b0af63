// hb628_sim: plays an HB628 analog input module on a pseudo-terminal, so that
// Tessaro can be run and its serial port supervision watched without the
// hardware. Each "c09" request is answered with 17 bytes: eight big-endian
// channel counts that drift slowly, and one spare byte.
//
// Put the printed slave path into Tessaro.ini:
//   [COM-Devices]
//   COM3=/dev/pts/7
// or start with --link so that a fixed path names it.

#include <poll.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

#include "tools/support/SimSupport.h"

using namespace tessaro::sim;

namespace {

constexpr std::size_t kAnswerSize = 17;

const char kUsage[] =
    "Usage: hb628_sim [options]\n"
    "Plays an HB628 analog input module (19200 8N1) on a pseudo-terminal and\n"
    "prints the slave path to name in section COM-Devices of Tessaro.ini.\n"
    "\n"
    "Options:\n"
    "  --link PATH  also make PATH a symbolic link to the slave (removed at exit)\n"
    "  --silent     start without answering\n"
    "  --short      answer 16 bytes instead of 17\n"
    "  --double     answer every request twice (34 bytes)\n"
    "  --verbose    print a line for every request\n"
    "  --help       this text\n"
    "\n"
    "At run time (kill -USR1 <pid>):\n"
    "  SIGUSR1      toggle silence: the supervision then restarts the port\n"
    "  SIGUSR2      cycle the answers: normal, short, double, normal ...\n"
    "  SIGINT, SIGTERM  end\n";

// Channel k (0 ... 7) around (k + 1) volts, swinging a quarter volt over
// about ten minutes, in the module's millivolt counts.
std::string AnswerBytes(double seconds) {
  std::string bytes;
  for (int k = 0; k < 8; ++k) {
    const double mv = 1000.0 * (k + 1) + 250.0 * std::sin(seconds / 100.0 + k);
    const unsigned v = static_cast<unsigned>(std::lround(mv)) & 0xFFFF;
    bytes += static_cast<char>(v >> 8);
    bytes += static_cast<char>(v & 0xFF);
  }
  bytes += '\0';
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  SerialOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (TakeSerialOption(argc, argv, i, o)) continue;
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    std::fprintf(stderr, "hb628_sim: unknown option %s\n\n%s", arg.c_str(), kUsage);
    return 2;
  }

  Pty pty;
  CatchSignals();
  if (!Announce(pty, "hb628_sim", o.link)) return 1;
  std::printf("pid %d, answers %s%s\n", static_cast<int>(getpid()),
              Describe(o.shape, kAnswerSize).c_str(), o.silent ? ", silent" : "");
  std::fflush(stdout);

  timespec started{};
  clock_gettime(CLOCK_MONOTONIC, &started);
  std::string received;  // keeps a request split over two reads
  while (!stopRequested) {
    FollowSignals(o, kAnswerSize, "answering", "answers");

    pollfd p{pty.master(), POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    if ((p.revents & POLLIN) == 0) {
      usleep(200 * 1000);  // hung up: Tessaro has not opened the port (yet)
      continue;
    }
    char buf[256];
    const ssize_t n = read(pty.master(), buf, sizeof buf);
    if (n <= 0) continue;
    received.append(buf, static_cast<size_t>(n));

    for (size_t at; (at = received.find("c09")) != std::string::npos;) {
      received.erase(0, at + 3);
      timespec now{};
      clock_gettime(CLOCK_MONOTONIC, &now);
      const std::string bytes =
          Shaped(AnswerBytes(static_cast<double>(now.tv_sec - started.tv_sec)), o.shape);
      if (o.verbose) {
        std::printf("c09 -> %s\n", o.silent ? "(silent)" : std::to_string(bytes.size()).c_str());
        std::fflush(stdout);
      }
      if (!o.silent) pty.send(bytes, 0);
    }
    if (received.size() > 2) received.erase(0, received.size() - 2);
  }
  return 0;
}
