#include "bench/Loopback.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "bench/BenchSupport.h"

namespace {

constexpr int kReplyTimeoutMs = 5000;

// One client, until it goes.
void Echo(const TcpListener& listener) {
  Socket client;
  for (;;) {
    const Socket& waitOn = client.valid() ? client : listener.socket();
    if (!waitOn.waitReadable(100)) continue;
    if (!client.valid()) {
      client = listener.accept();
      continue;
    }
    char buffer[256];
    const long n = client.receive(buffer, 255);
    if (n < 1) return;
    client.sendNow(std::string_view(buffer, static_cast<size_t>(n)));
  }
}

}  // namespace

Socket ConnectClient(uint16_t port) {
  Socket socket = ConnectLoopback(port);
  if (!socket.valid()) Fail("cannot connect to port " + std::to_string(port));
  const int on = 1;
  setsockopt(socket.fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return socket;
}

Socket ConnectClientFrom(uint32_t from, uint16_t port) {
  Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(from);
  const bool bound = socket.valid() && bind(socket.fd(), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  if (!bound || connect(socket.fd(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    Fail("cannot connect to port " + std::to_string(port) + " from another loopback address");
  }
  return socket;
}

bool ReceiveExact(const Socket& socket, char* buffer, size_t size, int timeoutMs) {
  const int64_t end = NowNs() + int64_t{timeoutMs} * 1000000;
  size_t got = 0;
  while (got < size) {
    const long n = socket.receive(buffer + got, size - got);
    if (n > 0) {
      got += static_cast<size_t>(n);
      continue;
    }
    if (n == 0 || errno != EAGAIN) return false;
    const int64_t left = end - NowNs();
    if (left <= 0) return false;
    socket.waitReadable(static_cast<int>(left / 1000000) + 1);
  }
  return true;
}

int64_t RoundTrip(const Socket& socket, std::string_view request, std::string_view reply) {
  std::string got(reply.size(), '\0');
  const int64_t start = NowNs();
  if (!socket.sendAll(request)) Fail("send failed");
  if (!ReceiveExact(socket, got.data(), got.size(), kReplyTimeoutMs)) {
    Fail("no complete reply within 5 s");
  }
  const int64_t took = NowNs() - start;
  if (got != reply) Fail("unexpected reply: " + got);
  return took;
}

EchoFloor::EchoFloor() {
  TcpListener listener;
  if (listener.open("127.0.0.1", 0, 1) != ListenResult::Ok) Fail("echo floor: cannot listen");
  port_ = listener.port();
  pid_ = fork();
  if (pid_ < 0) Fail("fork failed");
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    Echo(listener);
    _exit(0);
  }
}

EchoFloor::~EchoFloor() {
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
}
