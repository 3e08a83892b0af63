#include "SimSupport.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tessaro::sim {

volatile sig_atomic_t stopRequested = 0;
volatile sig_atomic_t usr1Raised = 0;
volatile sig_atomic_t usr2Raised = 0;

namespace {

void OnSignal(int sig) {
  if (sig == SIGUSR1) usr1Raised = 1;
  if (sig == SIGUSR2) usr2Raised = 1;
  if (sig == SIGINT || sig == SIGTERM) stopRequested = 1;
}

}  // namespace

void CatchSignals() {
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGUSR1, SIGUSR2, SIGINT, SIGTERM}) sigaction(sig, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

bool Take(volatile sig_atomic_t& flag) {
  if (flag == 0) return false;
  flag = 0;
  return true;
}

Shape Next(Shape shape) {
  switch (shape) {
    case Shape::Normal:
      return Shape::Short;
    case Shape::Short:
      return Shape::Double;
    case Shape::Double:
      break;
  }
  return Shape::Normal;
}

std::string Describe(Shape shape, std::size_t size) {
  switch (shape) {
    case Shape::Normal:
      return "normal (" + std::to_string(size) + " bytes)";
    case Shape::Short:
      return "short (" + std::to_string(size - 1) + " bytes)";
    case Shape::Double:
      break;
  }
  return "double (" + std::to_string(2 * size) + " bytes)";
}

std::string Shaped(std::string bytes, Shape shape) {
  if (shape == Shape::Short && !bytes.empty()) bytes.pop_back();
  if (shape == Shape::Double) bytes += bytes;
  return bytes;
}

bool TakeSerialOption(int argc, char** argv, int& i, SerialOptions& options) {
  const std::string arg = argv[i];
  if (arg == "--link" && i + 1 < argc) {
    options.link = argv[++i];
  } else if (arg == "--silent") {
    options.silent = true;
  } else if (arg == "--short") {
    options.shape = Shape::Short;
  } else if (arg == "--double") {
    options.shape = Shape::Double;
  } else if (arg == "--verbose") {
    options.verbose = true;
  } else {
    return false;
  }
  return true;
}

void FollowSignals(SerialOptions& options, std::size_t size, const char* active, const char* what) {
  if (Take(usr1Raised)) {
    options.silent = !options.silent;
    std::printf("%s\n", options.silent ? "silent" : active);
    std::fflush(stdout);
  }
  if (Take(usr2Raised)) {
    options.shape = Next(options.shape);
    std::printf("%s %s\n", what, Describe(options.shape, size).c_str());
    std::fflush(stdout);
  }
}

Pty::~Pty() {
  if (!link_.empty()) unlink(link_.c_str());
  if (master_ >= 0) close(master_);
}

bool Pty::Open(const char* program, const std::string& link) {
  // Raw on both sides from the start: no echo of what we send back to us.
  termios raw{};
  cfmakeraw(&raw);
  int slave = -1;
  char path[128];
  if (openpty(&master_, &slave, path, &raw, nullptr) != 0) {
    std::fprintf(stderr, "%s: openpty: %s\n", program, std::strerror(errno));
    return false;
  }
  tcsetattr(master_, TCSANOW, &raw);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  close(slave);
  slavePath_ = path;

  if (!link.empty()) {
    unlink(link.c_str());
    if (symlink(path, link.c_str()) != 0) {
      std::fprintf(stderr, "%s: symlink %s: %s\n", program, link.c_str(), std::strerror(errno));
      return false;
    }
    link_ = link;
  }
  return true;
}

void Pty::Announce() const {
  std::printf("%s\n", slavePath_.c_str());
  if (!link_.empty()) std::printf("linked from %s\n", link_.c_str());
}

void WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EINTR) {
      return;
    }
  }
}

}  // namespace tessaro::sim
