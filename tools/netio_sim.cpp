// netio_sim: plays a NETIO-230B power switch on a loopback port, for tests
// and for running an installation without the switch.
//
// Each connection gets the greeting "100 HELLO <8 hex digits> - KSHELL V1.1"
// with CR LF (34 bytes). A line "login <user> <password>" is answered
// "250 OK\r\n" whatever the credentials; "port list xxxx" with four
// characters 0/1 is answered "250 OK\r\n" and the four socket states are
// printed; anything else gets "502 UNKNOWN COMMAND\r\n". The switch closes
// when the client does, or after 10 seconds of silence.
//
// Options to misbehave (for the client's failure paths) are listed by --help.
// Stops on SIGINT or SIGTERM.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/SimSupport.h"

using namespace tessaro::sim;

namespace {

constexpr int kIdleLimitMs = 10000;
constexpr int kSliceMs = 100;

struct Options {
  int port = 0;
  int greetingLength = 34;
  bool silent = false;
  bool refuse = false;
  bool split = false;
  bool longReply = false;
  bool wrongReply = false;
  bool drop = false;
  long misbehaveFor = -1;  // negative: always
};

void usage(FILE* out) {
  std::fprintf(out,
               "usage: netio_sim [options]\n"
               "Plays a NETIO-230B power switch on 127.0.0.1 and prints the socket states\n"
               "each \"port list\" sets. Ends on SIGINT or SIGTERM.\n"
               "  --port N             listen on port N (default 0: any free port, printed)\n"
               "  --greeting-length N  cut or pad the greeting to N bytes (34 is right)\n"
               "  --silent             accept, then say nothing\n"
               "  --refuse             hold the port without listening: connections are refused\n"
               "  --split              answer \"port list\" in two pieces: \"250 \", and the rest\n"
               "                       only after the client has gone\n"
               "  --long-reply         answer \"port list\" with 256 bytes\n"
               "  --wrong-reply        answer \"port list\" with \"550 ERR\"\n"
               "  --drop               close the connection instead of answering \"port list\"\n"
               "  --misbehave-for N    misbehave on the first N connections only, then be good\n");
}

bool parseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto number = [&](auto& field) {
      if (i + 1 >= argc) return false;
      field = std::atoi(argv[++i]);
      return true;
    };
    if (a == "--help" || a == "-h") {
      usage(stdout);
      std::exit(0);
    } else if (a == "--port") {
      if (!number(o.port)) return false;
    } else if (a == "--greeting-length") {
      if (!number(o.greetingLength)) return false;
    } else if (a == "--misbehave-for") {
      if (!number(o.misbehaveFor)) return false;
    } else if (a == "--silent") {
      o.silent = true;
    } else if (a == "--refuse") {
      o.refuse = true;
    } else if (a == "--split") {
      o.split = true;
    } else if (a == "--long-reply") {
      o.longReply = true;
    } else if (a == "--wrong-reply") {
      o.wrongReply = true;
    } else if (a == "--drop") {
      o.drop = true;
    } else {
      return false;
    }
  }
  return o.port >= 0 && o.port <= 65535 && o.greetingLength >= 0;
}

void sendText(int fd, const std::string& text) {
  send(fd, text.data(), text.size(), MSG_NOSIGNAL);
}

// Waits for a stop request or up to ms for fd to become readable.
bool waitReadable(int fd, int ms) {
  for (int waited = 0; waited < ms && !stopRequested; waited += kSliceMs) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kSliceMs) > 0) return true;
  }
  return false;
}

// The next line without its line end; false when the client closed or went
// quiet.
bool readLine(int fd, std::string& line) {
  line.clear();
  for (;;) {
    if (!waitReadable(fd, kIdleLimitMs)) return false;
    char c;
    if (recv(fd, &c, 1, 0) != 1) return false;
    if (c == '\n') break;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

void waitForClose(int fd) {
  char buffer[256];
  while (waitReadable(fd, kIdleLimitMs) && recv(fd, buffer, sizeof buffer, 0) > 0) {
  }
}

bool isPortList(const std::string& line) {
  if (line.size() != 14 || line.compare(0, 10, "port list ") != 0) return false;
  for (size_t i = 10; i < 14; ++i) {
    if (line[i] != '0' && line[i] != '1') return false;
  }
  return true;
}

void printSockets(const std::string& states) {
  std::printf("netio_sim: sockets");
  for (size_t i = 0; i < 4; ++i) std::printf(" %zu=%s", i + 1, states[i] == '1' ? "on" : "off");
  std::printf("\n");
  std::fflush(stdout);
}

void serveConnection(int fd, const Options& o, bool misbehave, unsigned connection) {
  if (misbehave && o.silent) return waitForClose(fd);

  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X", 0x5A3C0000u + connection);
  std::string greeting = std::string("100 HELLO ") + hex + " - KSHELL V1.1\r\n";
  if (misbehave) greeting.resize(static_cast<size_t>(o.greetingLength), ' ');
  sendText(fd, greeting);

  std::string line;
  while (readLine(fd, line)) {
    if (line.compare(0, 6, "login ") == 0) {
      sendText(fd, "250 OK\r\n");
    } else if (isPortList(line)) {
      printSockets(line.substr(10));
      if (misbehave && o.drop) return;
      if (misbehave && o.split) {
        sendText(fd, "250 ");
        waitForClose(fd);
        sendText(fd, "OK\r\n");
        return;
      }
      if (misbehave && o.longReply) {
        sendText(fd, "250 OK\r\n" + std::string(248, '.'));
      } else if (misbehave && o.wrongReply) {
        sendText(fd, "550 ERR\r\n");
      } else {
        sendText(fd, "250 OK\r\n");
      }
    } else {
      sendText(fd, "502 UNKNOWN COMMAND\r\n");
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parseOptions(argc, argv, o)) {
    usage(stderr);
    return 2;
  }
  CatchSignals();

  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(o.port));
  if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      (!o.refuse && listen(listener, 4) != 0)) {
    std::fprintf(stderr, "netio_sim: port %d: %s\n", o.port, std::strerror(errno));
    return 1;
  }
  socklen_t len = sizeof addr;
  getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  std::printf("netio_sim: %s 127.0.0.1:%d\n", o.refuse ? "refusing on" : "listening on",
              ntohs(addr.sin_port));
  std::fflush(stdout);

  unsigned connections = 0;
  while (!stopRequested) {
    if (o.refuse) {
      pause();
      continue;
    }
    if (!waitReadable(listener, kSliceMs)) continue;
    const int fd = accept(listener, nullptr, nullptr);
    if (fd < 0) continue;
    const bool misbehave = o.misbehaveFor < 0 || static_cast<long>(connections) < o.misbehaveFor;
    serveConnection(fd, o, misbehave, connections++);
    shutdown(fd, SHUT_RDWR);
    close(fd);
  }
  close(listener);
  return 0;
}
