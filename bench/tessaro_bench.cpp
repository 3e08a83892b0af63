// tessaro_bench: starts the real server in a temporary installation and
// prints one table of what it costs: request round trips against a plain
// loopback echo as the floor, sustained pipelined requests per second, and
// the idle server's CPU time and resident memory.
//
// Usage: tessaro_bench [--idle-seconds N] [--requests N] [--pipelined N]
//                      [--gap-us N] [--port-wait-seconds N] [--server PATH]
//                      [--memory-detail] [--keep]

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#ifndef TESSARO_SERVER
#error "TESSARO_SERVER must name the server binary"
#endif

namespace {

constexpr uint16_t kCommandPort = 1969;

// Targets. The round trip target is relative: loopback latency depends on the
// machine, so the server is held against an echo measured in the same run.
constexpr double kDebugP99PerEchoP99 = 3.0;
constexpr double kMinDoutPerSecond = 5000.0;
constexpr double kMaxIdleCpuPercent = 0.5;
constexpr double kMaxRssKiB = 4096.0;

constexpr const char* kDebugRequest = "cmd=debug&username=bench&enaoutp=1\r\n";
constexpr const char* kDoutOn = "cmd=dout&username=bench&outn=0&mode=ein\r\n";
constexpr const char* kDoutOff = "cmd=dout&username=bench&outn=0&mode=aus\r\n";
constexpr std::string_view kOk = "ok\r\n";

// One dummy device with a few named channels: every dout changes a real
// output image, prints the device's console line and logs an entry.
constexpr const char* kConfig =
    "[Devices]\n"
    "dev0=dummy_io\n"
    "\n"
    "[Digital_Outputs]\n"
    "out0=0,0,-1,aus,Kessel\n"
    "out1=0,1,-1,aus,Pumpe\n"
    "out2=0,2,-1,ein,Ventil\n"
    "out3=0,3,1,aus,Zirkulation\n"
    "out4=0,4,-1,slave,Mischer\n";

struct Options {
  int idleSeconds = 60;
  int requests = 2000;
  int pipelined = 20000;
  int gapUs = 1000;
  int portWaitSeconds = 1800;
  std::string server = TESSARO_SERVER;
  bool memoryDetail = false;
  bool keep = false;
};

[[noreturn]] void fail(const std::string& why) {
  std::fprintf(stderr, "tessaro_bench: %s\n", why.c_str());
  std::exit(1);
}

int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void sleepUs(int64_t us) { std::this_thread::sleep_for(std::chrono::microseconds(us)); }

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string loadAverage() {
  std::string text = readFile("/proc/loadavg");
  std::istringstream in(text);
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

// ---------------------------------------------------------------- sockets

int connectLoopback(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  // The requests are single small writes; Nagle must not hold any back.
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

bool sendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Receives exactly size bytes within timeoutMs.
bool receiveExact(int fd, char* buffer, size_t size, int timeoutMs) {
  const int64_t end = nowNs() + int64_t{timeoutMs} * 1000000;
  size_t got = 0;
  while (got < size) {
    const ssize_t n = recv(fd, buffer + got, size - got, MSG_DONTWAIT);
    if (n > 0) {
      got += static_cast<size_t>(n);
      continue;
    }
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) return false;
    const int64_t left = end - nowNs();
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, static_cast<int>(left / 1000000) + 1);
  }
  return true;
}

// True when nothing listens on port: a listener with SO_REUSEADDR (as the
// server's) binds unless another socket listens there.
bool portFree(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(port);
  const bool free = bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return free;
}

// The floor: a loopback echo that serves its client the way the server does
// (a single-threaded process waiting for readability, one receive of at most
// 255 bytes, a non-blocking send), so the two differ only in the server's work.
class EchoServer {
 public:
  EchoServer() {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener, 1) != 0) {
      fail("echo server: cannot listen on loopback");
    }
    socklen_t len = sizeof addr;
    getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    pid_ = fork();
    if (pid_ < 0) fail("fork failed");
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      serve(listener);
      _exit(0);
    }
    close(listener);
  }
  ~EchoServer() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  uint16_t port() const { return port_; }

 private:
  // One client, until it goes.
  static void serve(int listener) {
    int client = -1;
    for (;;) {
      pollfd p{client >= 0 ? client : listener, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      if (client < 0) {
        client = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        continue;
      }
      char buffer[256];
      const ssize_t n = recv(client, buffer, 255, MSG_DONTWAIT);
      if (n < 1) return;
      send(client, buffer, static_cast<size_t>(n), MSG_DONTWAIT | MSG_NOSIGNAL);
    }
  }

  uint16_t port_ = 0;
  pid_t pid_ = -1;
};

// ---------------------------------------------------------------- server

class TempInstallation {
 public:
  explicit TempInstallation(bool keep) : keep_(keep) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                          "/tessaro_bench.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) fail("cannot create a temporary directory");
    root_ = pattern;
    std::filesystem::create_directory(run());
    std::filesystem::create_directory(root_ + "/debug");
    std::ofstream(run() + "/Tessaro.ini", std::ios::binary) << kConfig;
  }
  ~TempInstallation() {
    if (keep_) {
      std::fprintf(stderr, "installation kept in %s\n", root_.c_str());
    } else {
      std::error_code ignored;
      std::filesystem::remove_all(root_, ignored);
    }
  }
  std::string run() const { return root_ + "/run"; }
  const std::string& root() const { return root_; }
  std::string console() const { return root_ + "/console.txt"; }

 private:
  std::string root_;
  bool keep_;
};

class Server {
 public:
  // Starts the server once port 1969 is free; retries while another program
  // (another engineer's test) takes the port between the check and the bind.
  Server(const std::string& program, const TempInstallation& dir, int portWaitSeconds) {
    const int64_t end = nowNs() + int64_t{portWaitSeconds} * 1000000000;
    bool told = false;
    for (;;) {
      while (!portFree(kCommandPort)) {
        if (!told) std::fprintf(stderr, "waiting for port %u to be free...\n", kCommandPort);
        told = true;
        if (nowNs() > end) fail("port 1969 stayed busy");
        sleepUs(500000);
      }
      spawn(program, dir);
      const int status = waitUntilStarted(dir);
      if (status < 0) return;
      if (readFile(dir.console()).find("Fehler Funktion bind") == std::string::npos) {
        fail("the server did not start (status " + std::to_string(status) + "):\n" +
             readFile(dir.console()));
      }
      pid_ = -1;
      if (nowNs() > end) fail("port 1969 stayed busy");
      sleepUs(500000);
    }
  }
  ~Server() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  pid_t pid() const { return pid_; }

  // SIGTERM, as a service manager stops it: the exit status, or -1.
  int stop() {
    kill(pid_, SIGTERM);
    for (int i = 0; i < 500; ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      sleepUs(10000);
    }
    return -1;
  }

 private:
  void spawn(const std::string& program, const TempInstallation& dir) {
    pid_ = fork();
    if (pid_ < 0) fail("fork failed");
    if (pid_ == 0) {
      // A benchmark killed half-way must not leave a server on the port.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      const int in = open("/dev/null", O_RDONLY);
      const int out = open(dir.console().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || out < 0 || chdir(dir.run().c_str()) != 0) _exit(126);
      dup2(in, STDIN_FILENO);
      dup2(out, STDOUT_FILENO);
      dup2(out, STDERR_FILENO);
      execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }

  // -1 once the start entry is logged (the port listens then), else the
  // exit status of a server that ended.
  int waitUntilStarted(const TempInstallation& dir) {
    const std::string log = dir.run() + "/logfile.txt";
    for (int i = 0; i < 1000; ++i) {
      if (readFile(log).find("Tessaro gestartet") != std::string::npos) return -1;
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
      }
      sleepUs(10000);
    }
    fail("the server did not log its start within 10 s");
  }

  pid_t pid_ = -1;
};

// ---------------------------------------------------------------- figures

struct Percentiles {
  double medianUs = 0;
  double p99Us = 0;
};

Percentiles percentiles(std::vector<int64_t> ns) {
  if (ns.empty()) return {};
  std::sort(ns.begin(), ns.end());
  const auto at = [&](double q) {
    const size_t rank = static_cast<size_t>(std::ceil(q * static_cast<double>(ns.size())));
    return static_cast<double>(ns[std::min(ns.size(), std::max<size_t>(rank, 1)) - 1]) / 1000.0;
  };
  return {at(0.5), at(0.99)};
}

// One request and its whole reply; the time in ns.
int64_t roundTrip(int fd, std::string_view request, std::string_view reply) {
  char got[64];
  const int64_t start = nowNs();
  if (!sendAll(fd, request.data(), request.size())) fail("send failed");
  if (!receiveExact(fd, got, reply.size(), 5000)) fail("no complete reply within 5 s");
  const int64_t took = nowNs() - start;
  if (std::string_view(got, reply.size()) != reply) {
    fail("unexpected reply: " + std::string(got, reply.size()));
  }
  return took;
}

// Time the process has run on a CPU, in ns (the scheduler's own account,
// finer than the clock ticks of /proc/<pid>/stat).
int64_t cpuNs(pid_t pid) {
  const std::string text = readFile("/proc/" + std::to_string(pid) + "/schedstat");
  return std::atoll(text.c_str());
}

struct CpuTicks {
  uint64_t utime = 0;
  uint64_t stime = 0;
};

CpuTicks readCpuTicks(pid_t pid) {
  const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
  // The command name may hold blanks; the fields after it are plain.
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) fail("cannot read /proc/<pid>/stat");
  std::istringstream in(stat.substr(close + 2));
  std::string field;
  CpuTicks t;
  for (int i = 3; i <= 15 && in >> field; ++i) {
    if (i == 14) t.utime = std::stoull(field);
    if (i == 15) t.stime = std::stoull(field);
  }
  return t;
}

// "Key:   123 kB" lines of a /proc file, in KiB.
std::map<std::string, double> readKiB(const std::string& path) {
  std::map<std::string, double> values;
  std::istringstream in(readFile(path));
  std::string line;
  while (std::getline(in, line)) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos || line.find(" kB") == std::string::npos) continue;
    values[line.substr(0, colon)] = std::atof(line.c_str() + colon + 1);
  }
  return values;
}

struct Memory {
  double rss = 0, hwm = 0, privateKiB = 0, sharedKiB = 0, pss = 0;
  std::map<std::string, std::pair<double, double>> byMapping;  // rss, private
};

Memory readMemory(pid_t pid, bool detail) {
  const std::string proc = "/proc/" + std::to_string(pid);
  auto status = readKiB(proc + "/status");
  auto rollup = readKiB(proc + "/smaps_rollup");
  Memory m;
  m.rss = status["VmRSS"];
  m.hwm = status["VmHWM"];
  m.privateKiB = rollup["Private_Clean"] + rollup["Private_Dirty"];
  m.sharedKiB = rollup["Shared_Clean"] + rollup["Shared_Dirty"];
  m.pss = rollup["Pss"];
  if (detail) {
    std::istringstream in(readFile(proc + "/smaps"));
    std::string line, mapping;
    while (std::getline(in, line)) {
      const size_t colon = line.find(':');
      const bool header = colon == std::string::npos || line.find('-') < colon;
      if (header) {
        // address perms offset dev inode [path]
        std::istringstream h(line);
        std::string skip;
        for (int i = 0; i < 5; ++i) h >> skip;
        std::getline(h, mapping);
        mapping.erase(0, mapping.find_first_not_of(' '));
        if (mapping.empty()) mapping = "[anonymous]";
        mapping = std::filesystem::path(mapping).filename().string();
      } else if (line.rfind("Rss:", 0) == 0) {
        m.byMapping[mapping].first += std::atof(line.c_str() + 4);
      } else if (line.rfind("Private_Clean:", 0) == 0 || line.rfind("Private_Dirty:", 0) == 0) {
        m.byMapping[mapping].second += std::atof(line.c_str() + 14);
      }
    }
  }
  return m;
}

std::string cpuModel() {
  std::istringstream in(readFile("/proc/cpuinfo"));
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  }
  return "unknown CPU";
}

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
  char buffer[256];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buffer, sizeof buffer, fmt, args);
  va_end(args);
  return buffer;
}

std::string withThousands(double value) {
  const std::string digits = format("%.0f", value);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// The status files are replaced through a new file and a rename in every
// pass, so the file system under the installation shows in every figure.
std::string fileSystem(const std::string& path) {
  struct statfs fs {};
  if (statfs(path.c_str(), &fs) != 0) return "?";
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53: return "ext4";
    case 0x01021994: return "tmpfs";
    case 0x58465342: return "xfs";
    case 0x9123683E: return "btrfs";
    case 0x794C7630: return "overlayfs";
    default: return format("file system 0x%lx", static_cast<unsigned long>(fs.f_type));
  }
}

struct Row {
  std::string measure, figure, target, met;
};

void printTable(const std::vector<Row>& rows) {
  size_t w[3] = {7, 6, 6};
  for (const Row& r : rows) {
    w[0] = std::max(w[0], r.measure.size());
    w[1] = std::max(w[1], r.figure.size());
    w[2] = std::max(w[2], r.target.size());
  }
  const auto line = [&](const std::string& a, const std::string& b, const std::string& c,
                        const std::string& d) {
    std::printf("| %-*s | %*s | %-*s | %-3s |\n", static_cast<int>(w[0]), a.c_str(),
                static_cast<int>(w[1]), b.c_str(), static_cast<int>(w[2]), c.c_str(), d.c_str());
  };
  line("Measure", "Figure", "Target", "Met");
  std::printf("|%s|%s:|%s|-----|\n", std::string(w[0] + 2, '-').c_str(),
              std::string(w[1] + 1, '-').c_str(), std::string(w[2] + 2, '-').c_str());
  for (const Row& r : rows) line(r.measure, r.figure, r.target, r.met);
}

Options parseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const auto number = [&]() {
      if (i + 1 >= argc) fail(a + " needs a number");
      const int n = std::atoi(argv[++i]);
      if (n < 0) fail(a + " must not be negative");
      return n;
    };
    if (a == "--idle-seconds") {
      o.idleSeconds = std::max(1, number());
    } else if (a == "--requests") {
      o.requests = std::max(10, number());
    } else if (a == "--pipelined") {
      o.pipelined = std::max(100, number());
    } else if (a == "--gap-us") {
      o.gapUs = number();
    } else if (a == "--port-wait-seconds") {
      o.portWaitSeconds = number();
    } else if (a == "--server" && i + 1 < argc) {
      o.server = argv[++i];
    } else if (a == "--memory-detail") {
      o.memoryDetail = true;
    } else if (a == "--keep") {
      o.keep = true;
    } else {
      std::fprintf(stderr,
                   "usage: tessaro_bench [--idle-seconds N] [--requests N] [--pipelined N]\n"
                   "                     [--gap-us N] [--port-wait-seconds N] [--server PATH]\n"
                   "                     [--memory-detail] [--keep]\n");
      std::exit(a == "--help" ? 0 : 2);
    }
  }
  return o;
}

// Sends count dout requests as fast as the connection takes them while the
// replies are read here: requests per second from the first byte sent to
// the last reply received.
double pipelinedDouts(int fd, int count) {
  std::string requests;
  for (int i = 0; i < count; ++i) requests += (i % 2 == 0) ? kDoutOn : kDoutOff;
  std::atomic<bool> sendFailed{false};
  const int64_t start = nowNs();
  std::thread writer([&] {
    if (!sendAll(fd, requests.data(), requests.size())) sendFailed = true;
  });
  const size_t want = static_cast<size_t>(count) * kOk.size();
  std::string replies;
  replies.reserve(want);
  char buffer[65536];
  while (replies.size() < want) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 10000) <= 0) break;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    replies.append(buffer, static_cast<size_t>(n));
  }
  const int64_t took = nowNs() - start;
  writer.join();
  if (sendFailed || replies.size() != want) {
    fail(format("pipelined: %zu of %d replies", replies.size() / kOk.size(), count));
  }
  for (size_t i = 0; i < want; i += kOk.size()) {
    if (std::string_view(replies).substr(i, kOk.size()) != kOk) fail("pipelined: a reply was not ok");
  }
  return count / (static_cast<double>(took) / 1e9);
}

}  // namespace

int main(int argc, char** argv) {
  const Options opt = parseOptions(argc, argv);
  signal(SIGPIPE, SIG_IGN);

  TempInstallation dir(opt.keep);
  Server server(opt.server, dir, opt.portWaitSeconds);
  const std::string loadAtStart = loadAverage();
  std::fprintf(stderr, "server %s started, pid %d\n", opt.server.c_str(), server.pid());
  sleepUs(1000000);  // past the first passes' minute and second work

  // Idle first, before the load phases leave anything behind: no client, the
  // server makes its ten passes a second.
  std::fprintf(stderr, "idle for %d s...\n", opt.idleSeconds);
  const CpuTicks before = readCpuTicks(server.pid());
  const int64_t idleCpuBefore = cpuNs(server.pid());
  const int64_t idleStart = nowNs();
  sleepUs(int64_t{opt.idleSeconds} * 1000000);
  const CpuTicks after = readCpuTicks(server.pid());
  const int64_t idleCpuNs = cpuNs(server.pid()) - idleCpuBefore;
  const double idleSeconds = static_cast<double>(nowNs() - idleStart) / 1e9;
  // Ten passes a second while nobody is connected.
  const double idlePassUs = static_cast<double>(idleCpuNs) / 1000.0 / (idleSeconds * 10.0);
  const double ticks = static_cast<double>(after.utime + after.stime - before.utime - before.stime);
  const double cpuSeconds = ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
  const double idlePercent = 100.0 * cpuSeconds / idleSeconds;
  const Memory idleMem = readMemory(server.pid(), false);

  EchoServer echo;
  const int echoFd = connectLoopback(echo.port());
  const int fd = connectLoopback(kCommandPort);
  if (echoFd < 0 || fd < 0) fail("cannot connect");

  // Echo and debug alternate so that both see the same machine load. The gap
  // lets the server finish the pass of the previous request (its status file
  // writes) and wait on the port again, so each request meets a waiting server.
  const std::string_view debug = kDebugRequest;
  const std::string echoReply(debug);
  std::vector<int64_t> echoNs, debugNs, doutNs;
  const int warmUp = 100;
  for (int i = 0; i < opt.requests + warmUp; ++i) {
    const int64_t e = roundTrip(echoFd, debug, echoReply);
    sleepUs(opt.gapUs);
    const int64_t d = roundTrip(fd, debug, kOk);
    sleepUs(opt.gapUs);
    if (i >= warmUp) {
      echoNs.push_back(e);
      debugNs.push_back(d);
    }
  }
  std::fprintf(stderr, "debug round trips done\n");
  for (int i = 0; i < opt.requests + warmUp; ++i) {
    const int64_t d = roundTrip(fd, (i % 2 == 0) ? kDoutOn : kDoutOff, kOk);
    sleepUs(opt.gapUs);
    if (i >= warmUp) doutNs.push_back(d);
  }
  std::fprintf(stderr, "dout round trips done\n");
  const int64_t cpuBefore = cpuNs(server.pid());
  const double perSecond = pipelinedDouts(fd, opt.pipelined);
  const double cpuPerDoutUs =
      static_cast<double>(cpuNs(server.pid()) - cpuBefore) / 1000.0 / opt.pipelined;
  std::fprintf(stderr, "pipelined douts done\n");
  close(fd);
  close(echoFd);
  const Memory mem = readMemory(server.pid(), opt.memoryDetail);
  const std::string loadAtEnd = loadAverage();

  const int exitStatus = server.stop();

  const Percentiles echoP = percentiles(echoNs);
  const Percentiles debugP = percentiles(debugNs);
  const Percentiles doutP = percentiles(doutNs);
  const double debugLimit = kDebugP99PerEchoP99 * echoP.p99Us;
  const auto yesNo = [](bool b) { return std::string(b ? "yes" : "no"); };

  utsname un{};
  uname(&un);
  std::printf("Tessaro benchmark: %s\n", opt.server.c_str());
  std::printf("Machine: %s, %ld cores, Linux %s\n", cpuModel().c_str(),
              sysconf(_SC_NPROCESSORS_ONLN), un.release);
  std::printf("Load average (1/5/15 min): %s at start, %s at end\n", loadAtStart.c_str(),
              loadAtEnd.c_str());
  std::printf("Installation: %s on %s\n", dir.root().c_str(), fileSystem(dir.root()).c_str());
  std::printf("Round trips: %d each after %d warm-up, %d us pause after each reply\n\n",
              opt.requests, warmUp, opt.gapUs);

  const auto mib = [](double kib) { return format("%.2f MiB", kib / 1024.0); };
  std::vector<Row> rows = {
      {"echo floor round trip, median / p99", format("%.0f / %.0f us", echoP.medianUs, echoP.p99Us),
       "(floor)", ""},
      {"debug round trip, median / p99", format("%.0f / %.0f us", debugP.medianUs, debugP.p99Us),
       format("p99 <= 3 x echo p99 = %.0f us", debugLimit), yesNo(debugP.p99Us <= debugLimit)},
      {"dout round trip, median / p99", format("%.0f / %.0f us", doutP.medianUs, doutP.p99Us), "",
       ""},
      {format("dout requests/s, %d pipelined", opt.pipelined), withThousands(perSecond) + " /s",
       ">= 5,000 /s", yesNo(perSecond >= kMinDoutPerSecond)},
      {"  server CPU per pipelined dout",
       format("%.1f us (%s /s per core)", cpuPerDoutUs, withThousands(1e6 / cpuPerDoutUs).c_str()),
       "", ""},
      {format("idle CPU over %.0f s (utime+stime)", idleSeconds),
       format("%.3f %% (%.2f s)", idlePercent, cpuSeconds), "< 0.5 % of one core",
       yesNo(idlePercent < kMaxIdleCpuPercent)},
      {"  server CPU per idle pass (schedstat)", format("%.0f us", idlePassUs), "", ""},
      {"resident memory VmRSS, idle", mib(idleMem.rss), "< 4 MiB", yesNo(idleMem.rss < kMaxRssKiB)},
      {"  of it private / shared (smaps_rollup)",
       format("%.2f / %.2f MiB", idleMem.privateKiB / 1024.0, idleMem.sharedKiB / 1024.0), "", ""},
      {"resident memory VmRSS, after the load", mib(mem.rss), "", ""},
      {"  of it private / shared (smaps_rollup)",
       format("%.2f / %.2f MiB", mem.privateKiB / 1024.0, mem.sharedKiB / 1024.0), "", ""},
      {"peak resident VmHWM", mib(mem.hwm), "< 4 MiB", yesNo(mem.hwm < kMaxRssKiB)},
  };
  printTable(rows);

  if (opt.memoryDetail) {
    std::vector<std::pair<std::string, std::pair<double, double>>> maps(mem.byMapping.begin(),
                                                                       mem.byMapping.end());
    std::sort(maps.begin(), maps.end(),
              [](const auto& a, const auto& b) { return a.second.first > b.second.first; });
    std::printf("\nResident memory by mapping (KiB rss / private):\n");
    for (const auto& [name, kib] : maps) {
      if (kib.first > 0) std::printf("  %8.0f %8.0f  %s\n", kib.first, kib.second, name.c_str());
    }
  }
  if (exitStatus != 0) {
    std::fprintf(stderr, "tessaro_bench: the server ended with status %d after SIGTERM\n",
                 exitStatus);
    return 1;
  }
  return 0;
}
