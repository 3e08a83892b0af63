#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "gateway/Options.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

class CommandQueue;
class History;
class Model;
class Programmes;
class Users;

// The web face: the page, the state as JSON and as Server-Sent Events, and
// the commands. It switches a house's heating, so every request is checked:
// a login when there are users, state changes only same-origin and as JSON,
// small bodies, and headers that keep the page out of other sites' frames.
class WebServer {
 public:
  static constexpr size_t kMaxBody = 4096;
  static constexpr int kMaxEventClients = 8;

  // users null: nobody logs in, commands carry options.webUser; history
  // null: nothing is recorded.
  WebServer(const Options& options, Model& model, CommandQueue& queue, const Users* users,
            History* history, Programmes& programmes);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Binds and serves on a thread of its own; false with *error when it cannot.
  bool start(std::string* error);
  void stop();
  uint16_t port() const { return port_; }

 private:
  void routes();
  // The logged-in user's name (UTF-8), or nothing after answering 401.
  std::optional<std::string> authenticate(const httplib::Request& req, httplib::Response& res);
  // False after answering 403 or 415: not a same-origin JSON request.
  bool sameOriginJson(const httplib::Request& req, httplib::Response& res) const;
  // Sends the request built for the logged-in user and answers with the reply.
  void command(const httplib::Request& req, httplib::Response& res,
               const std::function<std::string(std::string_view user)>& request);
  void events(const httplib::Request& req, httplib::Response& res, const std::string& user);
  void history(const httplib::Request& req, httplib::Response& res);
  void putProgramme(const httplib::Request& req, httplib::Response& res);

  Options options_;
  Model& model_;
  CommandQueue& queue_;
  const Users* users_;
  History* history_;
  Programmes& programmes_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  uint16_t port_ = 0;
  std::atomic<int> eventClients_{0};
  std::atomic<bool> stopping_{false};

  // Credentials checked recently: crypt(3) is slow on purpose, and the
  // browser sends them with every request.
  std::mutex authMutex_;
  std::map<std::string, std::chrono::steady_clock::time_point> verified_;
};
