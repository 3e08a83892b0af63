#include "platform/StdConsole.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopSignal = 0;

bool terminalSaved = false;
termios savedTerminal{};

void onStopSignal(int) { stopSignal = 1; }

void restoreTerminal() {
  if (terminalSaved) {
    tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    terminalSaved = false;
  }
}

void installSignals() {
  struct sigaction stop {};
  stop.sa_handler = onStopSignal;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGTERM, &stop, nullptr);
  // A closed terminal or session: end as asked, so the log is closed off and
  // the terminal restored.
  sigaction(SIGHUP, &stop, nullptr);

  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

void enterKeyMode() {
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &savedTerminal) != 0) return;
  terminalSaved = true;
  std::atexit(restoreTerminal);
  termios keys = savedTerminal;
  keys.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  keys.c_cc[VMIN] = 0;
  keys.c_cc[VTIME] = 0;
  tcsetattr(STDIN_FILENO, TCSANOW, &keys);
}

}  // namespace

StdConsole::StdConsole() {
  installSignals();
  enterKeyMode();
}

StdConsole::~StdConsole() { restoreTerminal(); }

void StdConsole::write(std::string_view text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(STDOUT_FILENO, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nobody reads the report any more: drop it
    p += n;
    left -= static_cast<size_t>(n);
  }
}

int StdConsole::readKey() {
  if (!watchingInput_) return -1;
  pollfd in{STDIN_FILENO, POLLIN, 0};
  if (poll(&in, 1, 0) <= 0) return -1;
  unsigned char key = 0;
  const ssize_t n = ::read(STDIN_FILENO, &key, 1);
  if (n == 1) return key;
  if (n == 0 || (errno != EAGAIN && errno != EINTR)) watchingInput_ = false;  // end of input
  return -1;
}

bool StdConsole::stopRequested() { return stopSignal != 0; }
