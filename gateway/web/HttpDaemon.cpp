#include "gateway/web/HttpDaemon.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cstring>

const char* const kTlsPriorities =
    "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2:-KX-ALL:+ECDHE-ECDSA:+ECDHE-RSA:+DHE-RSA:"
    "-CIPHER-ALL:+AES-256-GCM:+AES-128-GCM:+CHACHA20-POLY1305:-MAC-ALL:+AEAD";

// Shared by the daemon's thread and whoever answers or wakes later: a
// command's reply comes on the command queue's thread, a stream's wake-up
// on the event streams' one. Resuming is only ever done for a connection
// that is suspended, and suspending only on the daemon's thread with the
// mutex held, so a wake-up is never lost between the two.
struct HttpDaemon::Link {
  std::mutex mutex;
  MHD_Connection* connection;  // null once the request is over
  bool suspended = false;
  bool woken = false;
  std::optional<HttpAnswer> answer;  // given while the request waited

  explicit Link(MHD_Connection* c) : connection(c) {}

  // REQUIRES: mutex held.
  void resume() {
    if (suspended && connection != nullptr) {
      suspended = false;
      MHD_resume_connection(connection);
    }
  }
  void wake() {
    std::lock_guard lock(mutex);
    woken = true;
    resume();
  }
  void deliver(HttpAnswer a) {
    std::lock_guard lock(mutex);
    answer = std::move(a);
    resume();
  }
};

struct HttpDaemon::Exchange {
  HttpRequest request;
  std::shared_ptr<Link> link;
  bool answered = false;
  bool dispatched = false;
};

namespace {

// A body of pieces as the library asks for it, block by block.
struct PieceReader {
  std::shared_ptr<PieceSource> source;
  std::shared_ptr<HttpDaemon::Link> link;
  const std::atomic<bool>* stopping;
  std::string piece;
  size_t at = 0;
};

ssize_t readPieces(void* cls, uint64_t /*pos*/, char* buffer, size_t max) {
  auto* r = static_cast<PieceReader*>(cls);
  while (r->at == r->piece.size()) {
    if (*r->stopping) return MHD_CONTENT_READER_END_OF_STREAM;
    {
      std::lock_guard lock(r->link->mutex);
      r->link->woken = false;
    }
    r->piece.clear();
    r->at = 0;
    const PieceSource::Got got = r->source->next(&r->piece);
    if (got == PieceSource::Got::End) return MHD_CONTENT_READER_END_OF_STREAM;
    if (got == PieceSource::Got::Later) {
      std::lock_guard lock(r->link->mutex);
      if (r->link->woken || *r->stopping) continue;
      r->link->suspended = true;
      MHD_suspend_connection(r->link->connection);
      return 0;
    }
  }
  const size_t n = std::min(max, r->piece.size() - r->at);
  std::memcpy(buffer, r->piece.data() + r->at, n);
  r->at += n;
  return static_cast<ssize_t>(n);
}

void freePieces(void* cls) { delete static_cast<PieceReader*>(cls); }

MHD_Result collectHeader(void* cls, MHD_ValueKind, const char* key, const char* value) {
  auto& headers = static_cast<HttpRequest*>(cls)->headers;
  std::string name = key;
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  // A repeated header reads as one list, so that a second Host or Origin
  // cannot slip past a check of the first.
  const auto [it, fresh] = headers.emplace(name, value != nullptr ? value : "");
  if (!fresh) it->second += std::string(", ") + (value != nullptr ? value : "");
  return MHD_YES;
}

MHD_Result collectParam(void* cls, MHD_ValueKind, const char* key, const char* value) {
  static_cast<HttpRequest*>(cls)->query[key] = value != nullptr ? value : "";
  return MHD_YES;
}

uint32_t ipv4Of(const sockaddr* a) {
  if (a == nullptr || a->sa_family != AF_INET) return 0;
  return ntohl(reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr);
}

}  // namespace

struct HttpCallbacks {
  static MHD_Result access(void* cls, MHD_Connection* c, const char* url, const char* method,
                           const char* /*version*/, const char* data, size_t* size, void** context) {
    auto& d = *static_cast<HttpDaemon*>(cls);
    auto* x = static_cast<HttpDaemon::Exchange*>(*context);
    if (x == nullptr) return begin(d, c, url, method, context);
    if (x->answered) {
      *size = 0;
      return MHD_YES;
    }
    if (*size > 0) {
      const size_t n = *size;
      *size = 0;
      // A body without a length that outgrows its limit: the library takes
      // no answer while a body comes in, so the connection ends at once.
      if (n > x->request.bodyLimit - x->request.body.size()) {
        x->answered = true;
        return MHD_NO;
      }
      x->request.body.append(data, n);
      return MHD_YES;
    }
    return dispatch(d, c, *x);
  }

  static MHD_Result begin(HttpDaemon& d, MHD_Connection* c, const char* url, const char* method,
                          void** context) {
    auto* x = new HttpDaemon::Exchange;
    *context = x;
    x->link = std::make_shared<HttpDaemon::Link>(c);
    {
      std::lock_guard lock(d.linksMutex_);
      d.links_.insert(x->link);
    }
    HttpRequest& r = x->request;
    r.method = method;
    r.path = url;
    MHD_get_connection_values(c, MHD_HEADER_KIND, collectHeader, &r);
    MHD_get_connection_values(c, MHD_GET_ARGUMENT_KIND, collectParam, &r);
    const MHD_ConnectionInfo* peer = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    r.client = peer != nullptr ? ipv4Of(peer->client_addr) : 0;
    const MHD_ConnectionInfo* fd = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (fd != nullptr && getsockname(fd->connect_fd, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
      r.local = ipv4Of(reinterpret_cast<const sockaddr*>(&local));
    }
    r.tls = d.tls_.has_value();
    if (std::optional<HttpAnswer> refusal = d.admit_(r)) return send(d, c, *x, std::move(*refusal));
    return MHD_YES;
  }

  // The body is in: the route answers, at once or later.
  static MHD_Result dispatch(HttpDaemon& d, MHD_Connection* c, HttpDaemon::Exchange& x) {
    if (!x.dispatched) {
      x.dispatched = true;
      d.handle_(x.request, [link = x.link](HttpAnswer a) { link->deliver(std::move(a)); });
    }
    std::unique_lock lock(x.link->mutex);
    if (!x.link->answer && d.stopping_) x.link->answer = Refusal(503, "Gateway beendet");
    if (!x.link->answer) {
      x.link->suspended = true;
      MHD_suspend_connection(c);
      return MHD_YES;
    }
    HttpAnswer a = std::move(*x.link->answer);
    x.link->answer.reset();
    lock.unlock();
    return send(d, c, x, std::move(a));
  }

  static MHD_Result send(HttpDaemon& d, MHD_Connection* c, HttpDaemon::Exchange& x, HttpAnswer a) {
    x.answered = true;
    MHD_Response* r = nullptr;
    if (a.pieces) {
      a.pieces->attach([link = std::weak_ptr(x.link)] {
        if (const auto l = link.lock()) l->wake();
      });
      r = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 4096, readPieces,
                                            new PieceReader{a.pieces, x.link, &d.stopping_, {}, 0},
                                            freePieces);
    } else {
      r = MHD_create_response_from_buffer(a.body.size(), a.body.data(), MHD_RESPMEM_MUST_COPY);
    }
    if (r == nullptr) return MHD_NO;
    for (const auto& [name, value] : d.everyAnswer_) MHD_add_response_header(r, name.c_str(), value.c_str());
    for (const auto& [name, value] : a.headers) MHD_add_response_header(r, name.c_str(), value.c_str());
    if (!a.contentType.empty()) MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, a.contentType.c_str());
    if (a.close) MHD_add_response_header(r, MHD_HTTP_HEADER_CONNECTION, "close");
    const MHD_Result queued = MHD_queue_response(c, static_cast<unsigned>(a.status), r);
    MHD_destroy_response(r);
    return queued;
  }

  static void completed(void* cls, MHD_Connection*, void** context, MHD_RequestTerminationCode) {
    auto& d = *static_cast<HttpDaemon*>(cls);
    auto* x = static_cast<HttpDaemon::Exchange*>(*context);
    if (x == nullptr) return;
    {
      std::lock_guard lock(x->link->mutex);
      x->link->connection = nullptr;
    }
    {
      std::lock_guard lock(d.linksMutex_);
      d.links_.erase(x->link);
    }
    delete x;
    *context = nullptr;
  }
};

HttpDaemon::HttpDaemon(Admit admit, Handle handle, HttpLimits limits,
                       std::vector<std::pair<std::string, std::string>> everyAnswer)
    : admit_(std::move(admit)), handle_(std::move(handle)), limits_(limits),
      everyAnswer_(std::move(everyAnswer)) {}

HttpDaemon::~HttpDaemon() { stop(); }

bool HttpDaemon::start(const std::string& address, uint16_t port, const std::optional<HttpTls>& tls,
                       std::string* error) {
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(port);
  if (inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
    *error = address + ": not an IPv4 address";
    return false;
  }
  tls_ = tls;
  unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME;
  std::vector<MHD_OptionItem> options = {
      {MHD_OPTION_SOCK_ADDR, 0, &where},
      {MHD_OPTION_LISTENING_ADDRESS_REUSE, 1, nullptr},
      {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(limits_.connectionMemory), nullptr},
      {MHD_OPTION_CONNECTION_LIMIT, limits_.connections, nullptr},
      {MHD_OPTION_PER_IP_CONNECTION_LIMIT, limits_.connectionsPerClient, nullptr},
      {MHD_OPTION_CONNECTION_TIMEOUT, limits_.idleSeconds, nullptr},
      {MHD_OPTION_STRICT_FOR_CLIENT, 1, nullptr},
      {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&HttpCallbacks::completed), this},
  };
  if (tls_) {
    if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
      *error = "this libmicrohttpd has no TLS";
      return false;
    }
    flags |= MHD_USE_TLS;
    options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, tls_->key.data()});
    options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, tls_->certificate.data()});
    options.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(kTlsPriorities)});
  }
  options.push_back({MHD_OPTION_END, 0, nullptr});
  port_ = port;
  daemon_ = MHD_start_daemon(flags, port, nullptr, nullptr, &HttpCallbacks::access, this,
                             MHD_OPTION_ARRAY, options.data(), MHD_OPTION_END);
  if (daemon_ == nullptr) {
    *error = "cannot listen on " + address + ":" + std::to_string(port) +
             (tls_ ? " (or the TLS certificate or key cannot be used)" : "");
    return false;
  }
  const MHD_DaemonInfo* bound = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
  port_ = bound != nullptr ? bound->port : port;
  return true;
}

void HttpDaemon::stop() {
  if (daemon_ == nullptr) return;
  stopping_ = true;
  {
    std::lock_guard lock(linksMutex_);
    for (const std::shared_ptr<Link>& link : links_) {
      std::lock_guard linkLock(link->mutex);
      if (!link->answer) link->answer = Refusal(503, "Gateway beendet");
      link->woken = true;
      link->resume();
    }
  }
  MHD_stop_daemon(daemon_);
  daemon_ = nullptr;
}
