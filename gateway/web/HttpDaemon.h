#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "gateway/web/Http.h"

struct MHD_Connection;
struct MHD_Daemon;

// What one client may cost the gateway. The figures keep a gateway under
// attack within a few MiB: every connection's request line and headers live
// in its own memory pool, and a request is refused when they do not fit.
struct HttpLimits {
  size_t connectionMemory = 16 * 1024;  // request line, headers, buffers
  unsigned connections = 512;
  unsigned connectionsPerClient = 64;
  unsigned idleSeconds = 10;  // a connection quiet this long is closed
};

struct HttpTls {
  std::string certificate, key;  // PEM text
};

// TLS 1.2 and 1.3 with forward-secret key exchange and AEAD ciphers only.
extern const char* const kTlsPriorities;

// The HTTP server: libmicrohttpd with one internal epoll thread for all
// connections. A request that waits (a command, an event stream) is
// suspended and holds no thread. Every request passes admit() as soon as
// its headers are in; an answer from it refuses the request before any of
// its body is read, and the connection closes. The body is read up to the
// limit admit() set (a chunked body that outgrows it ends the connection
// at once, without an answer), then handle() answers through its Reply, at
// once or later from any thread.
class HttpDaemon {
 public:
  using Admit = std::function<std::optional<HttpAnswer>(HttpRequest&)>;
  using Handle = std::function<void(const HttpRequest&, Reply)>;

  // everyAnswer: headers that go with every answer.
  HttpDaemon(Admit admit, Handle handle, HttpLimits limits,
             std::vector<std::pair<std::string, std::string>> everyAnswer);
  ~HttpDaemon();
  HttpDaemon(const HttpDaemon&) = delete;
  HttpDaemon& operator=(const HttpDaemon&) = delete;

  // Listens on the IPv4 address and port (0: any free one); false with
  // *error when it cannot.
  bool start(const std::string& address, uint16_t port, const std::optional<HttpTls>& tls,
             std::string* error);
  // Answers every waiting request 503, ends every stream, then closes.
  void stop();
  uint16_t port() const { return port_; }  // once started

  struct Link;  // a connection as other threads reach it

 private:
  friend struct HttpCallbacks;  // the library's callbacks, in HttpDaemon.cpp
  struct Exchange;

  Admit admit_;
  Handle handle_;
  HttpLimits limits_;
  std::vector<std::pair<std::string, std::string>> everyAnswer_;
  std::optional<HttpTls> tls_;  // kept: the library reads it while it runs
  MHD_Daemon* daemon_ = nullptr;
  std::atomic<uint16_t> port_{0};
  std::atomic<bool> stopping_{false};
  std::mutex linksMutex_;
  std::set<std::shared_ptr<Link>> links_;
};
