#include "gateway/web/Routes.h"

#include <charconv>

#include "gateway/commands/CommandArguments.h"
#include "gateway/commands/CommandQueue.h"
#include "gateway/commands/RequestUser.h"
#include "protocol/RequestLine.h"
#include "gateway/history/Recorder.h"
#include "gateway/model/Latin1.h"
#include "gateway/model/Model.h"
#include "gateway/programmes/Programmes.h"
#include "gateway/web/EventStreams.h"
#include "gateway/web/HistoryAnswer.h"
#include "gateway/web/WebCommand.h"
#include "gateway/web/WebAssets.h"
#include "platform/Clock.h"

namespace {

using nlohmann::json;


// The request's JSON object; discarded when it is none.
json bodyOf(const HttpRequest& r) {
  json body = json::parse(r.body, nullptr, false);
  return body.is_object() ? body : json(json::value_t::discarded);
}

HttpAnswer noJson() { return Refusal(400, "Der Inhalt ist kein JSON-Objekt."); }

HttpAnswer unsendableUser() {
  return Refusal(400, "Dieser Benutzername kann nicht an Tessaro gesendet werden.");
}

HttpAnswer answerOf(const CommandResult& result) {
  switch (result.status) {
    case CommandResult::Status::Ok: return JsonAnswer(200, {{"reply", "ok"}});
    case CommandResult::Status::Refused: return JsonAnswer(409, {{"reply", Latin1ToUtf8(result.reply)}});
    case CommandResult::Status::Unreachable: break;
  }
  return JsonAnswer(503, {{"error", result.detail}});
}

// A path segment that is a number of at most nine digits, else -1.
long numberOf(std::string_view segment) {
  long n = -1;
  if (segment.empty() || segment.size() > 9) return -1;
  const auto [end, ec] = std::from_chars(segment.data(), segment.data() + segment.size(), n);
  return ec == std::errc() && end == segment.data() + segment.size() ? n : -1;
}

}  // namespace

// The route table: one line a route, each handler a member below.
const std::vector<Routes::Route>& Routes::table() {
  static const std::vector<Route> routes = {
      {"GET", "/api/state", 0, &Routes::state},
      {"GET", "/api/protocol", 0, &Routes::protocol},
      {"GET", "/api/events", 0, &Routes::events},
      {"GET", "/api/history", 0, &Routes::history},
      {"POST", "/api/outputs/#/mode", kMaxCommandBody, &Routes::mode},
      {"POST", "/api/outputs/#/timer", kMaxCommandBody, &Routes::timer},
      {"POST", "/api/mask", kMaxCommandBody, &Routes::mask},
      {"POST", "/api/enable", kMaxCommandBody, &Routes::enable},
      {"GET", "/api/programmes", 0, &Routes::programmeList},
      {"GET", "/api/programmes/#", 0, &Routes::programmeGet},
      {"PUT", "/api/programmes/#", kMaxProgrammeBody, &Routes::programmePut},
      {"GET", "*", 0, &Routes::asset},
  };
  return routes;
}

Routes::Routes(Services services) : s_(services) {}

void Routes::state(const HttpRequest& r, long, Reply& reply) const {
  json j = s_.model.snapshot().json;
  j["user"] = s_.loginRequired ? json(r.user) : json(nullptr);
  reply(JsonAnswer(200, j));
}

void Routes::protocol(const HttpRequest&, long, Reply& reply) const {
  reply(JsonAnswer(200, {{"modes", ChannelModeNames()},
                         {"channels", kChannels},
                         {"timer_minutes_max", kTimerMinutesMax}}));
}

void Routes::events(const HttpRequest& r, long, Reply& reply) const {
  reply(s_.streams.open(r.client, s_.loginRequired ? json(r.user) : json(nullptr)));
}

void Routes::history(const HttpRequest& r, long, Reply& reply) const {
  reply(HistoryAnswer(r, s_.history, SystemClock::nowMs()));
}

void Routes::mode(const HttpRequest& r, long n, Reply& reply) const {
  command(r, reply, WebCommandKind::Mode, n);
}

void Routes::timer(const HttpRequest& r, long n, Reply& reply) const {
  command(r, reply, WebCommandKind::Timer, n);
}

void Routes::mask(const HttpRequest& r, long, Reply& reply) const {
  command(r, reply, WebCommandKind::Mask, -1);
}

void Routes::enable(const HttpRequest& r, long, Reply& reply) const {
  command(r, reply, WebCommandKind::Enable, -1);
}

void Routes::programmeList(const HttpRequest&, long, Reply& reply) const {
  reply(JsonAnswer(200, s_.programmes.list()));
}

void Routes::programmeGet(const HttpRequest&, long n, Reply& reply) const {
  const ProgrammeAnswer a = s_.programmes.get(static_cast<size_t>(n));
  reply(JsonAnswer(a.status, a.body));
}

void Routes::programmePut(const HttpRequest& r, long n, Reply& reply) const {
  const json body = bodyOf(r);
  if (body.is_discarded()) return reply(noJson());
  const std::optional<std::string> user = RequestUser(r.user);
  if (!user) return reply(unsendableUser());
  s_.programmes.put(static_cast<size_t>(n), body, *user,
                    [reply](const ProgrammeAnswer& a) { reply(JsonAnswer(a.status, a.body)); });
}

void Routes::asset(const HttpRequest& r, long, Reply& reply) const {
  const WebAsset* asset = FindWebAsset(r.path);
  if (asset == nullptr) return reply(Refusal(404, "Nicht gefunden."));
  HttpAnswer a;
  a.contentType = std::string(asset->contentType);
  a.body = std::string(asset->body);
  reply(std::move(a));
}

const Routes::Route* Routes::match(const HttpRequest& r, long* n, bool* pathKnown) const {
  *pathKnown = false;
  const std::string_view path = r.path;
  for (const Route& route : table()) {
    long number = -1;
    bool same = route.pattern == "*" || route.pattern == path;
    const size_t hash = route.pattern.find('#');
    if (!same && hash != std::string_view::npos && path.substr(0, hash) == route.pattern.substr(0, hash)) {
      const std::string_view tail = route.pattern.substr(hash + 1);
      const std::string_view rest = path.substr(hash);
      const size_t end = rest.find('/');
      number = numberOf(rest.substr(0, end));
      same = number >= 0 && (end == std::string_view::npos ? tail.empty() : rest.substr(end) == tail);
    }
    if (!same) continue;
    *pathKnown = *pathKnown || route.pattern != "*";
    const bool get = route.method == "GET" && r.method == "HEAD";
    if (route.method == r.method || get) {
      *n = number;
      return &route;
    }
  }
  return nullptr;
}

std::variant<size_t, HttpAnswer> Routes::find(const HttpRequest& r) const {
  long n = -1;
  bool pathKnown = false;
  const Route* route = match(r, &n, &pathKnown);
  if (route != nullptr) return route->bodyLimit;
  if (!pathKnown) return Refusal(404, "Nicht gefunden.");
  return Refusal(405, "Diese Methode gibt es hier nicht.");
}

void Routes::handle(const HttpRequest& r, Reply reply) const {
  long n = -1;
  bool pathKnown = false;
  const Route* route = match(r, &n, &pathKnown);
  if (route == nullptr) return reply(Refusal(404, "Nicht gefunden."));
  (this->*route->handler)(r, n, reply);
}

void Routes::command(const HttpRequest& r, Reply& reply, WebCommandKind kind, long n) const {
  const std::optional<std::string> user = RequestUser(r.user);
  if (!user) return reply(unsendableUser());
  const WebCommand c = CheckWebCommand(kind, n, r.body, *user);
  if (c.request.empty()) return reply(Refusal(400, c.error));
  s_.queue.submit(c.request, [reply](const CommandResult& result) { reply(answerOf(result)); });
}
