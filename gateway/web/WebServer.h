#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "gateway/web/EventStreams.h"
#include "gateway/web/HttpDaemon.h"
#include "gateway/web/Login.h"
#include "gateway/web/RequestRules.h"
#include "gateway/web/Routes.h"
#include "gateway/web/WebOptions.h"

class CommandQueue;
class Model;
class Programmes;
class Recorder;
class Users;

// The web face: the page, the state as JSON and as Server-Sent Events, the
// history and the commands. It switches a house's heating, so every
// request passes, in this order and before its body is read: its Host, a
// route that takes it, its body's framing and size, the login when there
// are users, and for a state change the same-origin and JSON rules. Every
// answer carries headers that keep the page out of other sites' frames.
class WebServer {
 public:
  // users null: nobody logs in, commands carry options.anonymousUser;
  // history null: nothing is recorded. REQUIRES: before the model's first
  // update.
  WebServer(WebOptions options, Model& model, CommandQueue& queue, const Users* users,
            Recorder* history, Programmes& programmes);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Binds and serves; false with *error when it cannot.
  bool start(std::string* error);
  void stop();
  uint16_t port() const { return daemon_.port(); }

 private:
  // A body beyond a command's size (a week programme) is read by at most
  // this many requests at a time, so that memory stays bounded.
  static constexpr int kLargeBodies = 2;

  std::optional<HttpAnswer> admit(HttpRequest& r);

  WebOptions options_;
  HostNames names_;
  Login login_;
  EventStreams streams_;
  Routes routes_;
  std::atomic<int> largeBodies_{0};
  HttpDaemon daemon_;
};
