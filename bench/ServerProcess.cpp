#include "bench/ServerProcess.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>

#include "bench/BenchSupport.h"
#include "bench/ChildProcess.h"
#include "platform/Socket.h"

namespace {

constexpr const char* kStarted = "Tessaro gestartet";
constexpr const char* kBindFailed = "Fehler Funktion bind";

}  // namespace

// A bind without listen: TcpListener would listen, and for that moment
// accept a client of another engineer's test as if it were their server.
// A socket with SO_REUSEADDR (as the server's) binds unless another listens.
bool PortFree(uint16_t port) {
  const Socket probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!probe.valid()) return false;
  const int on = 1;
  setsockopt(probe.fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(port);
  return bind(probe.fd(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

ServerProcess::ServerProcess(const std::string& program, const TempInstallation& dir,
                             int portWaitSeconds) {
  const int64_t end = NowNs() + int64_t{portWaitSeconds} * 1000000000;
  bool told = false;
  for (;;) {
    while (!PortFree(kCommandPort)) {
      if (!told) std::fprintf(stderr, "waiting for port %u to be free...\n", kCommandPort);
      told = true;
      if (NowNs() > end) Fail("port 1969 stayed busy");
      SleepUs(500000);
    }
    pid_ = SpawnChild({program}, dir.run(), dir.console());
    const int status = waitUntilStarted(dir);
    if (status < 0) return;
    if (ReadWholeFile(dir.console()).find(kBindFailed) == std::string::npos) {
      Fail("the server did not start (status " + std::to_string(status) + "):\n" +
           ReadWholeFile(dir.console()));
    }
    pid_ = -1;
    if (NowNs() > end) Fail("port 1969 stayed busy");
    SleepUs(500000);
  }
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0) KillChild(pid_);
}

int ServerProcess::stop() {
  const int status = StopChild(pid_);
  pid_ = -1;
  return status;
}

// -1 once the start entry is logged (the port listens then), else the exit
// status of a server that ended.
int ServerProcess::waitUntilStarted(const TempInstallation& dir) {
  const std::string log = dir.run() + "/logfile.txt";
  for (int i = 0; i < 1000; ++i) {
    if (ReadWholeFile(log).find(kStarted) != std::string::npos) return -1;
    const int status = EndedChild(pid_);
    if (status >= 0) return status;
    SleepUs(10000);
  }
  Fail("the server did not log its start within 10 s");
}
