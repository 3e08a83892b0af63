#include "gateway/web/WebServer.h"

#include <arpa/inet.h>

#include "platform/PosixFileSystem.h"

namespace {

std::vector<std::pair<std::string, std::string>> everyAnswer(bool tls) {
  std::vector<std::pair<std::string, std::string>> h = {
      {"Content-Security-Policy",
       "default-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'none'"},
      {"X-Frame-Options", "DENY"},
      {"X-Content-Type-Options", "nosniff"},
      {"Referrer-Policy", "no-referrer"},
      {"Cache-Control", "no-store"},
  };
  if (tls) h.emplace_back("Strict-Transport-Security", "max-age=31536000");
  return h;
}

uint32_t ipv4(const std::string& text) {
  in_addr a{};
  return inet_pton(AF_INET, text.c_str(), &a) == 1 ? ntohl(a.s_addr) : 0;
}

}  // namespace

WebServer::WebServer(WebOptions options, Model& model, CommandQueue& queue, const Users* users,
                     Recorder* history, Programmes& programmes)
    : options_(std::move(options)),
      login_(users, options_.anonymousUser),
      streams_(model),
      routes_({model, queue, streams_, history, programmes, users != nullptr}),
      daemon_([this](HttpRequest& r) { return admit(r); },
              [this](const HttpRequest& r, Reply reply) { routes_.handle(r, std::move(reply)); },
              HttpLimits{}, everyAnswer(!options_.tlsCert.empty())) {
  names_.listenAddress = ipv4(options_.address);
  names_.tls = !options_.tlsCert.empty();
  names_.publicNames = options_.publicNames;
}

WebServer::~WebServer() { stop(); }

bool WebServer::start(std::string* error) {
  std::optional<HttpTls> tls;
  if (names_.tls) {
    PosixFileSystem files;
    const std::optional<std::string> cert = files.readWhole(options_.tlsCert);
    const std::optional<std::string> key = files.readWhole(options_.tlsKey);
    if (!cert || !key) {
      *error = (cert ? options_.tlsKey : options_.tlsCert) + ": cannot be read";
      return false;
    }
    tls = HttpTls{*cert, *key};
  }
  if (!daemon_.start(options_.address, options_.port, tls, error)) return false;
  streams_.start();
  return true;
}

void WebServer::stop() {
  streams_.stop();
  daemon_.stop();
}

std::optional<HttpAnswer> WebServer::admit(HttpRequest& r) {
  if (std::optional<HttpAnswer> a = CheckHost(r, names_, daemon_.port())) return a;
  std::variant<size_t, HttpAnswer> route = routes_.find(r);
  if (HttpAnswer* refusal = std::get_if<HttpAnswer>(&route)) return std::move(*refusal);
  r.bodyLimit = std::get<size_t>(route);
  if (std::optional<HttpAnswer> a = CheckFraming(r)) return a;
  std::variant<std::string, HttpAnswer> user = login_.check(r, Login::Clock::now());
  if (HttpAnswer* refusal = std::get_if<HttpAnswer>(&user)) return std::move(*refusal);
  r.user = std::get<std::string>(user);
  if (std::optional<HttpAnswer> a = CheckSameOriginJson(r)) return a;
  if (r.bodyLimit > Routes::kMaxCommandBody) {
    if (++largeBodies_ > kLargeBodies) {
      --largeBodies_;
      return Refusal(503, "Es werden schon Wochenprogramme gespeichert: bitte gleich noch einmal.");
    }
    r.hold = std::shared_ptr<void>(nullptr, [this](void*) { --largeBodies_; });
  }
  return std::nullopt;
}
