#include "gateway/web/WebServer.h"

#include <httplib.h>

#include <charconv>
#include <ctime>
#include <future>
#include <nlohmann/json.hpp>

#include "gateway/web/Base64.h"
#include "gateway/commands/CommandQueue.h"
#include "gateway/history/History.h"
#include "gateway/model/Latin1.h"
#include "gateway/model/Model.h"
#include "gateway/commands/Requests.h"
#include "gateway/model/StateJson.h"
#include "gateway/programmes/Programmes.h"
#include "gateway/web/Users.h"
#include "gateway/web/WebAssets.h"

using httplib::Request;
using httplib::Response;
using nlohmann::json;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kVerifiedFor = std::chrono::minutes(10);
constexpr size_t kMaxVerified = 64;

void answer(Response& res, int status, const json& body) {
  res.status = status;
  res.set_content(Dump(body), "application/json");
}

void fail(Response& res, int status, const std::string& message) {
  answer(res, status, {{"error", message}});
}

// The channel number in the path, 0 ... 31, or -1.
int channelOf(const Request& req) {
  const std::string text = req.matches[1];
  int n = -1;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  return ec == std::errc() && end == text.data() + text.size() && n >= 0 && n < 32 ? n : -1;
}

// A programme's index in the path, or nothing for one beyond any list.
std::optional<size_t> indexOf(const Request& req) {
  const std::string text = req.matches[1];
  size_t n = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return n;
}

bool isProgrammePut(const Request& req) {
  return req.method == "PUT" && req.path.rfind("/api/programmes/", 0) == 0;
}

// The request's JSON object, or nothing after answering 400 (413 for a body
// over the limit that came in chunks, without a length to refuse it by).
std::optional<json> bodyOf(const Request& req, Response& res) {
  if (req.body.size() > (isProgrammePut(req) ? kMaxProgrammeBody : WebServer::kMaxBody)) {
    fail(res, 413, "Der Inhalt ist zu gro\u00df.");
    return std::nullopt;
  }
  json body = json::parse(req.body, nullptr, false);
  if (body.is_discarded() || !body.is_object()) {
    fail(res, 400, "Der Inhalt ist kein JSON-Objekt.");
    return std::nullopt;
  }
  return body;
}

// A query parameter as a whole number, fallback when it is missing; nothing
// when it is there but not a number.
std::optional<int64_t> integerParam(const Request& req, const char* name, int64_t fallback) {
  if (!req.has_param(name)) return fallback;
  const std::string text = req.get_param_value(name);
  int64_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return v;
}

// "2026-12-09 12:00:00" in local time: what a spreadsheet reads as a date.
std::string localTime(int64_t ms) {
  const time_t t = static_cast<time_t>(ms / 1000);
  std::tm tm{};
  localtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

WebServer::WebServer(const Options& options, Model& model, CommandQueue& queue, const Users* users,
                     History* history, Programmes& programmes)
    : options_(options),
      model_(model),
      queue_(queue),
      users_(users),
      history_(history),
      programmes_(programmes) {}

WebServer::~WebServer() { stop(); }

bool WebServer::start(std::string* error) {
  if (options_.tlsCert.empty()) {
    server_ = std::make_unique<httplib::Server>();
  } else {
    auto tls = std::make_unique<httplib::SSLServer>(options_.tlsCert.c_str(),
                                                    options_.tlsKey.c_str());
    if (!tls->is_valid()) {
      *error = "the TLS certificate or key cannot be used";
      return false;
    }
    server_ = std::move(tls);
  }
  // Every event stream holds a thread: room for them and for the requests.
  server_->new_task_queue = [] { return new httplib::ThreadPool(kMaxEventClients + 8); };
  routes();
  const int port = options_.httpPort == 0
                       ? server_->bind_to_any_port(options_.httpAddress)
                       : (server_->bind_to_port(options_.httpAddress, options_.httpPort)
                              ? options_.httpPort
                              : -1);
  if (port < 0) {
    *error = "cannot listen on " + options_.httpAddress + ":" + std::to_string(options_.httpPort);
    return false;
  }
  port_ = static_cast<uint16_t>(port);
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  return true;
}

void WebServer::stop() {
  if (!thread_.joinable()) return;
  stopping_ = true;
  server_->stop();
  thread_.join();
}

void WebServer::routes() {
  httplib::Server& s = *server_;
  // The programmes' PUT carries up to a whole file; every other body is
  // refused by its length before it is read, or by bodyOf.
  s.set_payload_max_length(kMaxProgrammeBody);
  s.set_default_headers({
      {"Content-Security-Policy",
       "default-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'none'"},
      {"X-Frame-Options", "DENY"},
      {"X-Content-Type-Options", "nosniff"},
      {"Referrer-Policy", "no-referrer"},
      {"Cache-Control", "no-store"},
  });
  s.set_pre_routing_handler([this](const Request& req, Response& res) {
    if (!authenticate(req, res)) return httplib::Server::HandlerResponse::Handled;
    if (req.method != "GET" && req.method != "HEAD" && !sameOriginJson(req, res)) {
      return httplib::Server::HandlerResponse::Handled;
    }
    if (!isProgrammePut(req) && req.get_header_value<uint64_t>("Content-Length") > kMaxBody) {
      fail(res, 413, "Der Inhalt ist zu gro\u00df.");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });

  s.Get("/api/state", [this](const Request& req, Response& res) {
    json j = model_.snapshot().json;
    j["user"] = users_ != nullptr ? json(*authenticate(req, res)) : json(nullptr);
    answer(res, 200, j);
  });
  s.Get("/api/events", [this](const Request& req, Response& res) {
    events(req, res, users_ != nullptr ? *authenticate(req, res) : "");
  });
  s.Get("/api/history", [this](const Request& req, Response& res) { history(req, res); });
  s.Post(R"(/api/outputs/(\d+)/mode)", [this](const Request& req, Response& res) {
    const int n = channelOf(req);
    const std::optional<json> body = bodyOf(req, res);
    if (!body) return;
    const json mode = body->value("mode", json());
    if (n < 0 || !mode.is_string() || !IsOutputMode(mode.get<std::string>())) {
      return fail(res, 400, "Kanal 0 ... 31 und mode aus, ein, uhr oder slave erwartet.");
    }
    command(req, res, [&](std::string_view user) {
      return DoutRequest(user, n, mode.get<std::string>());
    });
  });
  s.Post(R"(/api/outputs/(\d+)/timer)", [this](const Request& req, Response& res) {
    const int n = channelOf(req);
    const std::optional<json> body = bodyOf(req, res);
    if (!body) return;
    const json minutes = body->value("minutes", json());
    const json on = body->value("on", json());
    if (n < 0 || !minutes.is_number_integer() || minutes.get<int64_t>() < 0 ||
        minutes.get<int64_t>() > 100000 || !on.is_boolean()) {
      return fail(res, 400, "Kanal 0 ... 31, minutes 0 ... 100000 und on true oder false erwartet.");
    }
    command(req, res, [&](std::string_view user) {
      return TimerRequest(user, n, minutes.get<int>(), on.get<bool>());
    });
  });
  s.Post("/api/mask", [this](const Request& req, Response& res) {
    const std::optional<json> body = bodyOf(req, res);
    if (!body) return;
    const json mask = body->value("mask", json());
    const json mode = body->value("mode", json());
    if (!mask.is_number_integer() || mask.get<int64_t>() < 0 ||
        mask.get<int64_t>() > int64_t{UINT32_MAX} || !mode.is_string() ||
        !IsOutputMode(mode.get<std::string>())) {
      return fail(res, 400, "mask 0 ... 4294967295 und mode aus, ein, uhr oder slave erwartet.");
    }
    command(req, res, [&](std::string_view user) {
      return MaskRequest(user, static_cast<uint32_t>(mask.get<int64_t>()), mode.get<std::string>());
    });
  });
  s.Post("/api/enable", [this](const Request& req, Response& res) {
    const std::optional<json> body = bodyOf(req, res);
    if (!body) return;
    const json enabled = body->value("enabled", json());
    if (!enabled.is_boolean()) return fail(res, 400, "enabled true oder false erwartet.");
    command(req, res, [&](std::string_view user) { return EnableRequest(user, enabled.get<bool>()); });
  });
  s.Get("/api/programmes", [this](const Request&, Response& res) { answer(res, 200, programmes_.list()); });
  s.Get(R"(/api/programmes/(\d+))", [this](const Request& req, Response& res) {
    const std::optional<size_t> n = indexOf(req);
    if (!n) return fail(res, 404, "Nicht gefunden.");
    const ProgrammeAnswer a = programmes_.get(*n);
    answer(res, a.status, a.body);
  });
  s.Put(R"(/api/programmes/(\d+))", [this](const Request& req, Response& res) { putProgramme(req, res); });
  s.Get(".*", [](const Request& req, Response& res) {
    const WebAsset* asset = FindWebAsset(req.path);
    if (asset == nullptr) return fail(res, 404, "Nicht gefunden.");
    res.set_content(std::string(asset->body), std::string(asset->contentType));
  });
}

std::optional<std::string> WebServer::authenticate(const Request& req, Response& res) {
  if (users_ == nullptr) return options_.webUser;
  const std::string header = req.get_header_value("Authorization");
  if (startsWith(header, "Basic ")) {
    const std::optional<std::string> decoded = Base64Decode(std::string_view(header).substr(6));
    const size_t colon = decoded ? decoded->find(':') : std::string::npos;
    if (colon != std::string::npos) {
      const std::string name = decoded->substr(0, colon);
      {
        std::lock_guard lock(authMutex_);
        const auto it = verified_.find(header);
        if (it != verified_.end() && Clock::now() - it->second < kVerifiedFor) return name;
      }
      if (users_->check(name, std::string_view(*decoded).substr(colon + 1))) {
        std::lock_guard lock(authMutex_);
        if (verified_.size() >= kMaxVerified) verified_.clear();
        verified_[header] = Clock::now();
        return name;
      }
      // Slows down guessing; a browser's first request comes without credentials.
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }
  }
  res.set_header("WWW-Authenticate", "Basic realm=\"Tessaro\", charset=\"UTF-8\"");
  fail(res, 401, "Anmeldung erforderlich.");
  return std::nullopt;
}

bool WebServer::sameOriginJson(const Request& req, Response& res) const {
  // A cross-site form can post text/plain or a form, never application/json
  // without the browser asking first; the two headers tell it outright.
  const std::string site = req.get_header_value("Sec-Fetch-Site");
  std::string origin = req.get_header_value("Origin");
  for (const std::string_view scheme : {"http://", "https://"}) {
    if (startsWith(origin, scheme)) origin.erase(0, scheme.size());
  }
  if ((!site.empty() && site != "same-origin" && site != "none") ||
      (req.has_header("Origin") && origin != req.get_header_value("Host"))) {
    fail(res, 403, "Anfragen von fremden Seiten sind nicht erlaubt.");
    return false;
  }
  if (!startsWith(req.get_header_value("Content-Type"), "application/json")) {
    fail(res, 415, "Content-Type application/json erwartet.");
    return false;
  }
  return true;
}

void WebServer::command(const Request& req, Response& res,
                        const std::function<std::string(std::string_view user)>& request) {
  const std::optional<std::string> name = authenticate(req, res);
  if (!name) return;
  const std::optional<std::string> user = RequestUser(*name);
  if (!user) return fail(res, 400, "Dieser Benutzername kann nicht an Tessaro gesendet werden.");
  const CommandResult result = queue_.submit(request(*user)).get();
  switch (result.status) {
    case CommandResult::Status::Ok: return answer(res, 200, {{"reply", "ok"}});
    case CommandResult::Status::Refused:
      return answer(res, 409, {{"reply", Latin1ToUtf8(result.reply)}});
    case CommandResult::Status::Unreachable: return fail(res, 503, result.detail);
  }
}

void WebServer::putProgramme(const Request& req, Response& res) {
  const std::optional<size_t> n = indexOf(req);
  if (!n) return fail(res, 404, "Nicht gefunden.");
  const std::optional<json> body = bodyOf(req, res);
  if (!body) return;
  const std::optional<std::string> name = authenticate(req, res);
  if (!name) return;
  const std::optional<std::string> user = RequestUser(*name);
  if (!user) return fail(res, 400, "Dieser Benutzername kann nicht an Tessaro gesendet werden.");
  // This face answers on the request's own thread; the commands run on the queue's.
  std::promise<ProgrammeAnswer> done;
  std::future<ProgrammeAnswer> answered = done.get_future();
  programmes_.put(*n, *body, *user, [&done](ProgrammeAnswer a) { done.set_value(std::move(a)); });
  const ProgrammeAnswer a = answered.get();
  answer(res, a.status, a.body);
}

void WebServer::events(const Request& /*req*/, Response& res, const std::string& user) {
  if (++eventClients_ > kMaxEventClients) {
    --eventClients_;
    return fail(res, 503, "Zu viele offene Ereignis-Verbindungen.");
  }
  auto seen = std::make_shared<uint64_t>(0);
  res.set_header("X-Accel-Buffering", "no");  // a proxy passes each event at once
  res.set_chunked_content_provider(
      "text/event-stream",
      [this, seen, user](size_t, httplib::DataSink& sink) {
        const Model::Snapshot s = model_.waitForChange(*seen, std::chrono::seconds(10));
        if (stopping_) return false;
        std::string chunk = ":\n\n";  // a comment keeps idle connections open
        if (s.version > *seen) {
          *seen = s.version;
          json j = s.json;
          j["user"] = users_ != nullptr ? json(user) : json(nullptr);
          chunk = "event: state\ndata: " + Dump(j) + "\n\n";
        }
        return sink.write(chunk.data(), chunk.size());
      },
      [this](bool) { --eventClients_; });
}

void WebServer::history(const Request& req, Response& res) {
  if (history_ == nullptr) return fail(res, 404, "Die Aufzeichnung ist ausgeschaltet (--history none).");
  if (!req.has_param("series")) return answer(res, 200, {{"series", history_->series()}});
  const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  const std::optional<int64_t> to = integerParam(req, "to", now);
  const std::optional<int64_t> from = to ? integerParam(req, "from", *to - History::kDayMs) : std::nullopt;
  if (!from || !to || *from > *to) return fail(res, 400, "from und to in Millisekunden seit 1970 erwartet.");
  const std::string series = req.get_param_value("series");
  const std::optional<History::Points> p = history_->query(series, *from, *to);
  if (!p) return fail(res, 404, "Keine Aufzeichnung f\u00fcr " + series + ".");

  if (req.get_param_value("format") == "csv") {
    std::string csv = p->ranges.empty() ? "time,unix_ms,value\n" : "time,unix_ms,value,min,max\n";
    for (size_t i = 0; i < p->points.size(); ++i) {
      const auto& [t, v] = p->points[i];
      csv += localTime(t) + "," + std::to_string(t) + "," + Dump(v);
      if (!p->ranges.empty()) csv += "," + Dump(p->ranges[i].first) + "," + Dump(p->ranges[i].second);
      csv += "\n";
    }
    res.set_header("Content-Disposition", "attachment; filename=\"" + series + ".csv\"");
    res.set_content(csv, "text/csv; charset=utf-8");
    return;
  }
  json points = json::array();
  for (const auto& [t, v] : p->points) points.push_back({t, v});
  json j = {{"series", p->series}, {"step_ms", p->stepMs}, {"points", points}};
  if (!p->ranges.empty()) j["ranges"] = p->ranges;
  answer(res, 200, j);
}
