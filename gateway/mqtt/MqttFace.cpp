#include "gateway/mqtt/MqttFace.h"

#include <mosquitto.h>

#include <nlohmann/json.hpp>

#include "gateway/commands/CommandQueue.h"
#include "gateway/mqtt/HaDiscovery.h"
#include "gateway/model/Latin1.h"
#include "gateway/mqtt/MqttCommand.h"
#include "gateway/mqtt/MqttTopics.h"
#include "gateway/commands/RequestUser.h"
#include "gateway/model/StateJson.h"
#include "gateway/mqtt/TopicScheme.h"
#include "platform/PosixFileSystem.h"

namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr int kQos = 1;

// libmosquitto wants this once per process, before any client.
const bool libraryReady = [] {
  mosquitto_lib_init();
  return true;
}();

}  // namespace

MqttFace::MqttFace(MqttOptions options, Model& model, CommandQueue& queue)
    : options_(std::move(options)), model_(model), queue_(queue) {
  model_.listen([this](const Model::Snapshot& s) { state(s); });
}

MqttFace::~MqttFace() { stop(); }

bool CheckMqttPrefix(std::string_view prefix, std::string* error) {
  (void)libraryReady;
  if (prefix.empty() || prefix.find('/') != std::string_view::npos || prefix.front() == '$' ||
      mosquitto_pub_topic_check2(prefix.data(), prefix.size()) != MOSQ_ERR_SUCCESS ||
      mosquitto_validate_utf8(prefix.data(), static_cast<int>(prefix.size())) != MOSQ_ERR_SUCCESS) {
    *error =
        "--mqtt-prefix wants one topic level: not empty, without \"/\", \"+\" or \"#\", "
        "not starting with \"$\", in UTF-8";
    return false;
  }
  return true;
}

bool MqttFace::start(std::string* error) {
  (void)libraryReady;
  const std::optional<std::string> user = RequestUser(options_.commandUser);
  if (!user) {
    *error = "--mqtt-command-user: not a name that can be sent to Tessaro";
    return false;
  }
  commandUser_ = *user;
  client_ = mosquitto_new(nullptr, true, this);
  if (client_ == nullptr) {
    *error = "no MQTT client could be made";
    return false;
  }
  if (!options_.user.empty()) {
    std::string password;
    if (!options_.passwordFile.empty()) {
      const std::optional<std::string> text = PosixFileSystem().readWhole(options_.passwordFile);
      if (!text) {
        *error = options_.passwordFile + ": cannot be read";
        return false;
      }
      password = text->substr(0, text->find('\n'));
    }
    mosquitto_username_pw_set(client_, options_.user.c_str(),
                              options_.passwordFile.empty() ? nullptr : password.c_str());
  }
  if (!options_.caFile.empty() &&
      mosquitto_tls_set(client_, options_.caFile.c_str(), nullptr, nullptr, nullptr, nullptr) !=
          MOSQ_ERR_SUCCESS) {
    *error = options_.caFile + ": cannot be used as CA file";
    return false;
  }
  const std::string status = StatusTopic(options_.prefix);
  mosquitto_will_set(client_, status.c_str(), 7, "offline", kQos, true);
  mosquitto_reconnect_delay_set(client_, 1, 30, true);
  mosquitto_connect_callback_set(client_, onConnect);
  mosquitto_disconnect_callback_set(client_, onDisconnect);
  mosquitto_message_callback_set(client_, onMessage);
  // A broker that is not there yet is no reason to stop: the loop retries.
  mosquitto_connect_async(client_, options_.host.c_str(), options_.port, kKeepAliveSeconds);
  if (mosquitto_loop_start(client_) != MOSQ_ERR_SUCCESS) {
    *error = "the MQTT client's thread cannot start";
    return false;
  }
  return true;
}

void MqttFace::stop() {
  if (client_ == nullptr) return;
  {
    std::lock_guard lock(mutex_);
    if (connected_) publish(StatusTopic(options_.prefix), "offline", true);
    connected_ = false;
  }
  mosquitto_disconnect(client_);
  mosquitto_loop_stop(client_, false);
  mosquitto_destroy(client_);
  client_ = nullptr;
}

void MqttFace::onConnect(mosquitto* client, void* self, int rc) {
  auto* face = static_cast<MqttFace*>(self);
  if (rc != 0) return;
  const std::string& p = face->options_.prefix;
  const std::string& d = face->options_.discoveryPrefix;
  std::vector<std::string> topics = CommandFilters(p);
  topics.push_back(d + "/status");  // Home Assistant's own: it came (back)
  for (const std::string& topic : topics) mosquitto_subscribe(client, nullptr, topic.c_str(), kQos);
  // At QoS 0: a broker queues at most so many messages of QoS 1 for a client
  // (Mosquitto 1000) and drops the rest, and a broker full of stale configs
  // hands them all over at once.
  const std::string configs = d + "/+/" + DiscoveryNodeId(p) + "/+/config";
  mosquitto_subscribe(client, nullptr, configs.c_str(), 0);
  std::lock_guard lock(face->mutex_);
  face->connected_ = true;
  face->sync(true);
}

void MqttFace::onDisconnect(mosquitto*, void* self, int) {
  auto* face = static_cast<MqttFace*>(self);
  std::lock_guard lock(face->mutex_);
  face->connected_ = false;
}

void MqttFace::onMessage(mosquitto*, void* self, const mosquitto_message* m) {
  auto* face = static_cast<MqttFace*>(self);
  const std::string topic = m->topic;
  const std::string payload(static_cast<const char*>(m->payload), static_cast<size_t>(m->payloadlen));
  const std::string& d = face->options_.discoveryPrefix;
  if (topic == d + "/status") {
    // Home Assistant came (back): it wants every config again.
    if (payload != "online") return;
    std::lock_guard lock(face->mutex_);
    face->sync(true);
  } else if (topic.rfind(d + "/", 0) == 0) {
    std::lock_guard lock(face->mutex_);
    if (payload.empty()) {
      face->strayConfigs_.erase(topic);
    } else if (m->retain) {
      face->brokerConfig(topic);
    }
  } else {
    face->command(topic, payload);
  }
}

void MqttFace::state(const Model::Snapshot& snapshot) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> lines = NewLogLines(log_, snapshot.state.messages);
  log_ = snapshot.state.messages;
  latest_ = snapshot.state;
  haveState_ = haveState_ || !latest_.outputs.empty() || latest_.slowid != 0;
  if (!connected_) return;
  for (const std::string& line : lines) publish(LogTopic(options_.prefix), line, false);
  sync(false);
}

void MqttFace::sync(bool all) {
  if (!connected_) return;
  const std::string status = latest_.alive ? "online" : "offline";
  if (all || status != sentStatus_) publish(StatusTopic(options_.prefix), status, true);
  sentStatus_ = status;
  if (!haveState_) return;

  auto update = [&](std::map<std::string, std::string>& sent,
                    std::map<std::string, std::string> now) {
    for (const auto& [topic, payload] : sent) {
      if (!now.count(topic)) publish(topic, "", true);  // an empty retained message deletes it
    }
    for (const auto& [topic, payload] : now) {
      const auto it = sent.find(topic);
      if (all || it == sent.end() || it->second != payload) publish(topic, payload, true);
    }
    sent = std::move(now);
  };
  update(sentState_, StateTopics(latest_, options_.prefix));
  update(sentConfigs_, DiscoveryConfigs(latest_, options_.prefix, options_.discoveryPrefix));
  for (const std::string& topic : strayConfigs_) brokerConfig(topic);
  strayConfigs_.clear();
}

// Each retained config comes once after the subscription and is judged once,
// so a broker full of stale configs costs one deletion each.
void MqttFace::brokerConfig(const std::string& topic) {
  if (!haveState_) {
    strayConfigs_.insert(topic);
  } else if (!sentConfigs_.count(topic)) {
    publish(topic, "", true);
  }
}

void MqttFace::command(const std::string& topic, const std::string& payload) {
  const std::optional<MqttCommand> c = ParseMqttCommand(options_.prefix, topic, payload, commandUser_);
  if (!c) return;
  if (!c->error.empty()) return error(topic, payload, "", c->error);
  queue_.submit(c->request, [this, topic, payload, request = c->request](const CommandResult& r) {
    if (r.status == CommandResult::Status::Ok) return;
    error(topic, payload, request,
          r.status == CommandResult::Status::Refused ? Latin1ToUtf8(r.reply) : r.detail);
  });
}

void MqttFace::error(const std::string& topic, const std::string& payload, const std::string& request,
                     const std::string& reply) {
  const nlohmann::json e = {{"topic", EchoOf(topic)},
                            {"payload", EchoOf(payload)},
                            {"request", Latin1ToUtf8(request)},
                            {"reply", reply}};
  std::lock_guard lock(mutex_);
  if (connected_) publish(ErrorTopic(options_.prefix), Dump(e), false);
}

void MqttFace::publish(const std::string& topic, const std::string& payload, bool retain) {
  mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                    retain ? kQos : 0, retain);
}
