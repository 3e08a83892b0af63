// tessaro_gateway: the web face (and the MQTT face) of a Tessaro
// installation, a client of the server like any other.
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "gateway/Gateway.h"
#include "gateway/web/Users.h"

namespace {

// A password from standard input, without echo on a terminal.
std::string readPassword() {
  termios saved{};
  const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios quiet = saved;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    std::fprintf(stderr, "Password: ");
  }
  std::string password;
  std::getline(std::cin, password);
  // A line from a Windows file or a serial console ends in CR LF.
  if (!password.empty() && password.back() == '\r') password.pop_back();
  if (terminal) {
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    std::fprintf(stderr, "\n");
  }
  return password;
}

int addUser(const Options& o) {
  const std::string password = readPassword();
  if (password.empty()) {
    std::fprintf(stderr, "tessaro_gateway: empty password, nothing changed\n");
    return 1;
  }
  std::string error;
  if (!Users::Set(o.usersFile, o.addUser, password, &error)) {
    std::fprintf(stderr, "tessaro_gateway: %s\n", error.c_str());
    return 1;
  }
  std::fprintf(stderr, "tessaro_gateway: %s set in %s\n", o.addUser.c_str(), o.usersFile.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const std::optional<Options> options = ParseOptions(argc, argv, &error);
  if (!options) {
    std::fprintf(stderr, "tessaro_gateway: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  if (options->help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!options->addUser.empty()) return addUser(*options);

  // The signals that end the program are taken by sigwait below, so every
  // thread started from here on leaves them blocked; SIGPIPE never ends it.
  sigset_t stop;
  sigemptyset(&stop);
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stop, sig);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Gateway gateway(*options, ".");
  if (!gateway.start(&error)) {
    std::fprintf(stderr, "tessaro_gateway: %s\n", error.c_str());
    return 1;
  }
  if (options->http && !options->usersFile.empty() && ReachesBeyondLoopback(options->web.address) &&
      options->web.tlsCert.empty()) {
    std::fprintf(stderr,
                 "tessaro_gateway: --users on %s without --tls-cert: passwords travel the network in "
                 "clear text; use TLS, or a reverse proxy with TLS in front of a gateway on loopback\n",
                 options->web.address.c_str());
  }
  if (options->http) {
    std::printf("tessaro_gateway: %s://%s:%u/\n", options->web.tlsCert.empty() ? "http" : "https",
                options->web.address.c_str(), gateway.httpPort());
    std::fflush(stdout);
  }
  int sig = 0;
  sigwait(&stop, &sig);
  gateway.stop();
  return 0;
}
