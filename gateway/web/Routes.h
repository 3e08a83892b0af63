#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <variant>
#include <vector>

#include "gateway/web/Http.h"
#include "gateway/web/WebCommand.h"

class CommandQueue;
class EventStreams;
class Model;
class Programmes;
class Recorder;

// What the web face serves, by method and path: the API (docs/web.md) and
// the page's files. Each route knows the most its body may hold, so a
// request is refused before its body is read when no route takes it.
class Routes {
 public:
  static constexpr size_t kMaxCommandBody = 4096;

  struct Services {
    Model& model;
    CommandQueue& queue;
    EventStreams& streams;
    Recorder* history;   // null: nothing is recorded
    Programmes& programmes;
    bool loginRequired;  // false: "user" is null in the state
  };
  explicit Routes(Services services);

  // The body limit of the route that takes r, or the refusal (404, 405).
  std::variant<size_t, HttpAnswer> find(const HttpRequest& r) const;
  // REQUIRES: find(r) gave a route and r is admitted.
  void handle(const HttpRequest& r, Reply reply) const;

 private:
  // n: the number in the path's "#" segment, -1 when there is none.
  using Handler = void (Routes::*)(const HttpRequest& r, long n, Reply& reply) const;
  struct Route {
    std::string_view method;
    std::string_view pattern;  // "/api/outputs/#/mode": "#" is a number; "*" any path
    size_t bodyLimit;
    Handler handler;
  };
  static const std::vector<Route>& table();
  const Route* match(const HttpRequest& r, long* n, bool* pathKnown) const;

  void state(const HttpRequest& r, long n, Reply& reply) const;
  void protocol(const HttpRequest& r, long n, Reply& reply) const;
  void events(const HttpRequest& r, long n, Reply& reply) const;
  void history(const HttpRequest& r, long n, Reply& reply) const;
  void mode(const HttpRequest& r, long n, Reply& reply) const;
  void timer(const HttpRequest& r, long n, Reply& reply) const;
  void mask(const HttpRequest& r, long n, Reply& reply) const;
  void enable(const HttpRequest& r, long n, Reply& reply) const;
  void programmeList(const HttpRequest& r, long n, Reply& reply) const;
  void programmeGet(const HttpRequest& r, long n, Reply& reply) const;
  void programmePut(const HttpRequest& r, long n, Reply& reply) const;
  void asset(const HttpRequest& r, long n, Reply& reply) const;

  // Sends the command that r asks for as its user, and answers with the
  // server's reply.
  void command(const HttpRequest& r, Reply& reply, WebCommandKind kind, long n) const;

  Services s_;
};
