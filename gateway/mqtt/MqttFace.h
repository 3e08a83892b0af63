#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "gateway/model/Model.h"
#include "gateway/mqtt/MqttOptions.h"

class CommandQueue;
struct mosquitto;
struct mosquitto_message;

// True when prefix can be MqttOptions::prefix, the first level of every
// state and command topic: one level, not empty, without "/", "+" or "#",
// not starting with "$" (the broker's own topics), in UTF-8. Else false with
// *error saying so.
bool CheckMqttPrefix(std::string_view prefix, std::string* error);

// The MQTT face, a small client in the manner of mosquitto_sub and
// mosquitto_pub: it keeps the installation's state retained under the
// prefix, announces it to Home Assistant, and takes commands into the
// gateway's queue. libmosquitto's own thread keeps the connection and
// reconnects with a growing pause; every (re)connection publishes the whole
// retained state again. PREFIX/status is "online" only while connected and
// the server's status files are fresh; the last will says "offline".
class MqttFace {
 public:
  MqttFace(MqttOptions options, Model& model, CommandQueue& queue);
  ~MqttFace();
  MqttFace(const MqttFace&) = delete;
  MqttFace& operator=(const MqttFace&) = delete;

  // Sets the client up and starts connecting in the background; false with
  // *error only for what no retry can mend (an unreadable password file).
  bool start(std::string* error);
  void stop();

 private:
  static void onConnect(mosquitto*, void* self, int rc);
  static void onDisconnect(mosquitto*, void* self, int rc);
  static void onMessage(mosquitto*, void* self, const mosquitto_message* m);

  void state(const Model::Snapshot& snapshot);
  void command(const std::string& topic, const std::string& payload);
  // Publishes on PREFIX/error why a command message was not carried out;
  // request is the request line sent (ISO 8859-1, empty when none), reply the
  // server's reply or the reason (UTF-8).
  void error(const std::string& topic, const std::string& payload, const std::string& request,
             const std::string& reply);
  // REQUIRES: mutex_ held. Publishes what differs from what was sent
  // (everything when all), removing topics that went.
  void sync(bool all);
  // REQUIRES: mutex_ held. A retained config under this node id that the
  // broker holds: removed unless it is one of this gateway's.
  void brokerConfig(const std::string& topic);
  void publish(const std::string& topic, const std::string& payload, bool retain);

  MqttOptions options_;
  Model& model_;
  CommandQueue& queue_;
  std::string commandUser_;  // ISO 8859-1
  mosquitto* client_ = nullptr;

  std::mutex mutex_;
  bool connected_ = false;
  bool haveState_ = false;  // a slow status file was read: the channels are known
  State latest_;
  std::map<std::string, std::string> sentState_;
  std::map<std::string, std::string> sentConfigs_;
  // Configs found on the broker before the channels were known, to be judged
  // once they are.
  std::set<std::string> strayConfigs_;
  std::string sentStatus_;
  std::vector<std::string> log_;
};
