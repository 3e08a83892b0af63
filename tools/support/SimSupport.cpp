#include "tools/support/SimSupport.h"

#include <cstdio>

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

bool Announce(Pty& pty, const char* program, const std::string& link) {
  if (!pty.valid() || (!link.empty() && !pty.linkFrom(link))) {
    std::fprintf(stderr, "%s: %s\n", program, pty.failure().c_str());
    return false;
  }
  std::printf("%s\n", pty.slavePath().c_str());
  if (!link.empty()) std::printf("linked from %s\n", link.c_str());
  return true;
}

}  // namespace tessaro::sim
