// hb628_sim: plays an HB628 analog input module on a pseudo-terminal, so that
// Tessaro can be run and its serial port supervision watched without the
// hardware. Each "c09" request is answered with 17 bytes: eight big-endian
// channel counts that drift slowly, and one spare byte.
//
// Put the printed slave path into Tessaro.ini:
//   [COM-Devices]
//   COM3=/dev/pts/7
// or start with --link so that a fixed path names it.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace {

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

enum class Answer { Normal, Short, Double };

const char* Name(Answer a) {
  switch (a) {
    case Answer::Normal:
      return "normal (17 bytes)";
    case Answer::Short:
      return "short (16 bytes)";
    case Answer::Double:
      return "double (34 bytes)";
  }
  return "";
}

volatile sig_atomic_t toggleSilence = 0;
volatile sig_atomic_t nextAnswer = 0;
volatile sig_atomic_t stop = 0;

void OnSignal(int sig) {
  if (sig == SIGUSR1) toggleSilence = 1;
  if (sig == SIGUSR2) nextAnswer = 1;
  if (sig == SIGINT || sig == SIGTERM) stop = 1;
}

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

void WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno != EINTR) {
      return;  // the slave's buffer is full or nobody has it open: lost, as on a wire
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string link;
  bool silent = false, verbose = false;
  Answer answer = Answer::Normal;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--link" && i + 1 < argc) {
      link = argv[++i];
    } else if (arg == "--silent") {
      silent = true;
    } else if (arg == "--short") {
      answer = Answer::Short;
    } else if (arg == "--double") {
      answer = Answer::Double;
    } else if (arg == "--verbose") {
      verbose = true;
    } else if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "hb628_sim: unknown option %s\n\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }

  // Raw on both sides from the start: no echo of an answer back to us.
  termios raw{};
  cfmakeraw(&raw);
  int master = -1, slave = -1;
  char slavePath[128];
  if (openpty(&master, &slave, slavePath, &raw, nullptr) != 0) {
    std::perror("hb628_sim: openpty");
    return 1;
  }
  tcsetattr(master, TCSANOW, &raw);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  // Tessaro is to be the slave's only user, so that its closes are real.
  close(slave);

  if (!link.empty()) {
    unlink(link.c_str());
    if (symlink(slavePath, link.c_str()) != 0) {
      std::perror("hb628_sim: symlink");
      return 1;
    }
  }

  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGUSR1, SIGUSR2, SIGINT, SIGTERM}) sigaction(sig, &sa, nullptr);

  std::printf("%s\n", slavePath);
  if (!link.empty()) std::printf("linked from %s\n", link.c_str());
  std::printf("pid %d, answers %s%s\n", static_cast<int>(getpid()), Name(answer),
              silent ? ", silent" : "");
  std::fflush(stdout);

  timespec started{};
  clock_gettime(CLOCK_MONOTONIC, &started);
  std::string received;  // keeps a request split over two reads
  while (!stop) {
    if (toggleSilence) {
      toggleSilence = 0;
      silent = !silent;
      std::printf("%s\n", silent ? "silent" : "answering");
      std::fflush(stdout);
    }
    if (nextAnswer) {
      nextAnswer = 0;
      answer = answer == Answer::Normal  ? Answer::Short
               : answer == Answer::Short ? Answer::Double
                                         : Answer::Normal;
      std::printf("answers %s\n", Name(answer));
      std::fflush(stdout);
    }

    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    if ((p.revents & POLLIN) == 0) {
      usleep(200 * 1000);  // hung up: Tessaro has not opened the port (yet)
      continue;
    }
    char buf[256];
    const ssize_t n = read(master, buf, sizeof buf);
    if (n <= 0) continue;
    received.append(buf, static_cast<size_t>(n));

    for (size_t at; (at = received.find("c09")) != std::string::npos;) {
      received.erase(0, at + 3);
      timespec now{};
      clock_gettime(CLOCK_MONOTONIC, &now);
      const double seconds = static_cast<double>(now.tv_sec - started.tv_sec);
      std::string bytes = AnswerBytes(seconds);
      if (answer == Answer::Short) bytes.pop_back();
      if (answer == Answer::Double) bytes += bytes;
      if (verbose) {
        std::printf("c09 -> %s\n", silent ? "(silent)" : std::to_string(bytes.size()).c_str());
        std::fflush(stdout);
      }
      if (!silent) WriteAll(master, bytes);
    }
    if (received.size() > 2) received.erase(0, received.size() - 2);
  }

  if (!link.empty()) unlink(link.c_str());
  close(master);
  return 0;
}
