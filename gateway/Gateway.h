#pragma once

#include <memory>
#include <optional>
#include <string>

#include "gateway/Options.h"
#include "gateway/commands/CommandQueue.h"
#include "gateway/model/Model.h"
#include "gateway/model/StatusWatcher.h"
#include "platform/PosixFileSystem.h"

// The faces and what only they use are made when they are asked for.
class History;
class MqttFace;
class Programmes;
class Recorder;
class Users;
class WebServer;

// Everything tessaro_gateway runs, in one place that a test creates fresh
// over an installation directory: the model, the status watcher that feeds
// it, the command queue, and the faces on them (web and MQTT, either may be
// left out).
class Gateway {
 public:
  // workDir is the installation's working directory ("." for the process's own).
  Gateway(Options options, std::string workDir);
  ~Gateway();
  Gateway(const Gateway&) = delete;
  Gateway& operator=(const Gateway&) = delete;

  // Loads the users and starts every part; false with *error when one
  // cannot start. Listening beyond loopback without users is refused.
  bool start(std::string* error);
  void stop();

  uint16_t httpPort() const;
  Model& model() { return model_; }

 private:
  Options options_;
  std::string workDir_;
  std::unique_ptr<Users> users_;
  Model model_;
  std::unique_ptr<History> history_;
  std::unique_ptr<Recorder> recorder_;
  // Before the queue: the queue's last results go to the MQTT face.
  std::unique_ptr<MqttFace> mqtt_;
  CommandQueue queue_;
  PosixFileSystem files_;
  std::unique_ptr<Programmes> programmes_;
  StatusWatcher watcher_;
  std::unique_ptr<WebServer> web_;
};
