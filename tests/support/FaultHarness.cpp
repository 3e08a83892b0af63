#include "tests/support/FaultHarness.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>

namespace {

constexpr char kFakeTimeLibrary[] = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
constexpr char kDebugRequest[] = "cmd=debug&username=check&enaoutp=1\r\n";

int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int countFds(pid_t pid) {
  DIR* dir = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
  if (dir == nullptr) return -1;
  int n = 0;
  while (const dirent* e = readdir(dir)) {
    if (e->d_name[0] != '.') ++n;
  }
  closedir(dir);
  return n;
}

long rssKiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// Sets environment variables for the children started while it lives.
class ScopedEnv {
 public:
  void set(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    saved_.push_back({name, old != nullptr, old != nullptr ? old : ""});
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->had) {
        setenv(it->name, it->value.c_str(), 1);
      } else {
        unsetenv(it->name);
      }
    }
  }

 private:
  struct Saved {
    const char* name;
    bool had;
    std::string value;
  };
  std::vector<Saved> saved_;
};

int connectCommandPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(1969);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

Resources ReadResources(pid_t pid) {
  Resources r;
  for (int i = 0; i < 5; ++i) {
    const int n = countFds(pid);
    if (n >= 0 && (r.fds < 0 || n < r.fds)) r.fds = n;
    SleepMs(20);
  }
  r.rssKiB = rssKiB(pid);
  return r;
}

::testing::AssertionResult NoGrowth(const Resources& before, const Resources& after,
                                    long slackKiB) {
  if (before.fds < 0 || after.fds < 0) return ::testing::AssertionFailure() << "no /proc entry";
  if (after.fds != before.fds) {
    return ::testing::AssertionFailure() << "descriptors " << before.fds << " -> " << after.fds;
  }
#if !defined(__SANITIZE_ADDRESS__)
  if (after.rssKiB > before.rssKiB + slackKiB) {
    return ::testing::AssertionFailure()
           << "VmRSS " << before.rssKiB << " KiB -> " << after.rssKiB << " KiB";
  }
#else
  (void)slackKiB;
#endif
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult Serves(int timeoutMs) {
  const int64_t end = nowMs() + timeoutMs;
  // The server takes one client at a time: a client it has not yet noticed
  // to be gone may hold it for a pass or two, so connecting is retried.
  while (nowMs() < end) {
    CommandClient client(1969, static_cast<int>(std::max<int64_t>(end - nowMs(), 1)));
    if (!client.connected()) break;
    client.send(kDebugRequest);
    const int left = static_cast<int>(end - nowMs());
    const std::string reply = client.receive(50, std::max(left, 1));
    if (reply == "ok\r\n") return ::testing::AssertionSuccess();
    if (!reply.empty()) return ::testing::AssertionFailure() << "debug reply: '" << reply << "'";
  }
  return ::testing::AssertionFailure() << "no reply to the debug request within " << timeoutMs
                                       << " ms";
}

::testing::AssertionResult StatusFilesComplete(const std::string& debugDir) {
  const std::string fast = ReadFile(debugDir + "/fast.xml");
  const std::string slow = ReadFile(debugDir + "/slow.xml");
  if (fast.size() < 8 || fast.compare(fast.size() - 8, 8, "</fast>\n") != 0) {
    return ::testing::AssertionFailure() << "fast.xml incomplete:\n" << fast;
  }
  if (slow.size() < 7 || slow.compare(slow.size() - 7, 7, "</slow>") != 0) {
    return ::testing::AssertionFailure() << "slow.xml incomplete:\n" << slow;
  }
  if (auto r = WellFormedXml(fast); !r) return r << " in fast.xml:\n" << fast;
  if (auto r = WellFormedXml(slow); !r) return r << " in slow.xml:\n" << slow;
  return ::testing::AssertionSuccess();
}

size_t CountOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string Blast(const std::string& bytes, bool readWhileSending, bool* peerClosed, int quietMs) {
  std::string replies;
  bool closed = false;
  const int fd = connectCommandPort();
  if (fd < 0) {
    if (peerClosed != nullptr) *peerClosed = true;
    return replies;
  }
  if (!readWhileSending) {
    // A small receive window, so that unread replies back up soon.
    const int small = 4096;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  size_t sent = 0;
  const int64_t end = nowMs() + 20000;
  auto readSome = [&] {
    char buf[4096];
    for (;;) {
      const ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n > 0) {
        replies.append(buf, static_cast<size_t>(n));
        continue;
      }
      if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) closed = true;
      return;
    }
  };
  while (sent < bytes.size() && !closed && nowMs() < end) {
    pollfd p{fd, static_cast<short>(POLLOUT | (readWhileSending ? POLLIN : 0)), 0};
    poll(&p, 1, 50);
    if (readWhileSending && (p.revents & (POLLIN | POLLHUP | POLLERR))) readSome();
    if (p.revents & POLLERR) closed = true;
    if (p.revents & POLLOUT) {
      const ssize_t n = send(fd, bytes.data() + sent, std::min<size_t>(bytes.size() - sent, 65536),
                             MSG_NOSIGNAL);
      if (n > 0) {
        sent += static_cast<size_t>(n);
      } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        closed = true;
      }
    }
  }
  while (!closed) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, quietMs) <= 0) break;
    readSome();
  }
  close(fd);
  if (peerClosed != nullptr) *peerClosed = closed;
  return replies;
}

std::string RandomBytes(size_t count, uint32_t seed) {
  std::mt19937 gen(seed);
  std::string bytes(count, '\0');
  for (char& b : bytes) b = static_cast<char>(gen() & 0xFF);
  return bytes;
}

FaultInstallation::FaultInstallation(const std::string& ini, bool withDebugDir) {
  std::filesystem::create_directories(run);
  if (withDebugDir) std::filesystem::create_directories(debug);
  WriteFile(run + "/Tessaro.ini", ini);
}

std::unique_ptr<Process> FaultInstallation::start(const std::string& program, std::string* failure,
                                                  int64_t fakeEpoch, const std::string& tz) {
  ScopedEnv env;
  if (fakeEpoch != 0) {
    setFakeTime(fakeEpoch);
    env.set("LD_PRELOAD", kFakeTimeLibrary);
    env.set("FAKETIME_TIMESTAMP_FILE", clockFile_);
    env.set("FAKETIME_NO_CACHE", "1");
    env.set("TZ", tz);
    // The preloaded library comes before the sanitizer runtime.
    const char* asan = std::getenv("ASAN_OPTIONS");
    env.set("ASAN_OPTIONS", std::string(asan != nullptr ? asan : "") +
                                (asan != nullptr && *asan != '\0' ? ":" : "") +
                                "verify_asan_link_order=0");
  }
  // As StartServer, with more time to start: a huge configuration is read
  // afresh for every look-up, which takes seconds (more under ASan).
  const int64_t end = nowMs() + 120000;
  do {
    auto p = std::make_unique<Process>(program, std::vector<std::string>{}, run,
                                       Process::Input::DevNull);
    for (int waited = 0; waited < 30000 && p->running(); waited += 20) {
      if (ReadFile(run + "/logfile.txt").find("Tessaro gestartet") != std::string::npos) return p;
      SleepMs(20);
    }
    if (p->running() || p->output().find("Fehler Funktion bind\n") == std::string::npos) {
      *failure = "the program did not start:\n" + p->output().substr(0, 2000);
      return nullptr;
    }
    p->wait(1000);
    SleepMs(500);  // another test run holds port 1969
  } while (nowMs() < end);
  *failure = "port 1969 stayed busy";
  return nullptr;
}

void FaultInstallation::setFakeTime(int64_t epoch) {
  const int64_t offset = epoch - static_cast<int64_t>(std::time(nullptr));
  // Written whole and renamed, so the program never reads half an offset.
  WriteFile(clockFile_ + ".new", (offset >= 0 ? "+" : "") + std::to_string(offset) + "\n");
  std::filesystem::rename(clockFile_ + ".new", clockFile_);
}

std::string FaultInstallation::dout(int outn, const std::string& mode, const std::string& name) {
  CommandClient client(1969);
  const std::string reply =
      client.request("cmd=dout&username=fault&outn=" + std::to_string(outn) + "&mode=" + mode +
                     "\r\n");
  expected_.push_back("[f] " + name + ": " + mode);
  return reply;
}

::testing::AssertionResult FaultInstallation::everyCommandLogged() const {
  const std::string text = log();
  for (const std::string& entry : expected_) {
    if (text.find(entry) == std::string::npos) {
      return ::testing::AssertionFailure() << "'" << entry << "' missing in:\n" << text;
    }
  }
  return ::testing::AssertionSuccess();
}

int Stop(Process& p) {
  p.signal(SIGTERM);
  return p.wait(10000);
}

FaultyNetio::FaultyNetio(Mode mode) : mode_(mode) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  // Bound but not listening: the port is held, connections are refused.
  if (mode_ == Mode::Refuse) return;
  listen(listener_, 4);
  thread_ = std::thread([this] { serve(); });
}

FaultyNetio::~FaultyNetio() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  close(listener_);
}

void FaultyNetio::serve() {
  uint32_t seed = 1;
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++connections_;
    auto waitForBytes = [&](int ms) {
      pollfd q{fd, POLLIN, 0};
      if (poll(&q, 1, ms) <= 0) return;
      char buf[512];
      (void)!recv(fd, buf, sizeof buf, 0);
    };
    switch (mode_) {
      case Mode::Refuse:
        break;
      case Mode::Silent:
        // Holds the connection without a word until the client gives up.
        for (int i = 0; i < 60 && !stop_; ++i) {
          pollfd q{fd, POLLIN, 0};
          if (poll(&q, 1, 50) > 0) {
            char buf[512];
            if (recv(fd, buf, sizeof buf, 0) <= 0) break;
          }
        }
        break;
      case Mode::Garbage: {
        // Greeting, login reply and port list reply at the right lengths and
        // beyond, all random bytes with zeros among them.
        const std::string greeting = RandomBytes(34, seed++);
        (void)!send(fd, greeting.data(), greeting.size(), MSG_NOSIGNAL);
        waitForBytes(1000);
        const std::string login = RandomBytes(8, seed++);
        (void)!send(fd, login.data(), login.size(), MSG_NOSIGNAL);
        waitForBytes(1000);
        const std::string reply = RandomBytes(200, seed++);
        (void)!send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        waitForBytes(1000);
        break;
      }
      case Mode::DropMidExchange: {
        const std::string greeting = "100 HTTP server on NETIO-230B ok\r\n";
        (void)!send(fd, greeting.data(), greeting.size(), MSG_NOSIGNAL);
        waitForBytes(1000);  // the login, then the connection is gone
        const linger hard{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        break;
      }
    }
    close(fd);
  }
}
