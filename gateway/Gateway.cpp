#include "gateway/Gateway.h"

#include <arpa/inet.h>

#include "gateway/history/History.h"
#include "gateway/mqtt/MqttFace.h"
#include "gateway/history/Recorder.h"
#include "gateway/commands/Requests.h"
#include "gateway/web/WebServer.h"

namespace {

CommandTarget targetOf(const Options& o) {
  CommandTarget target;
  target.address = o.serverAddress;
  target.port = o.serverPort;
  return target;
}

}  // namespace

Gateway::Gateway(Options options, std::string workDir)
    : options_(std::move(options)),
      queue_(targetOf(options_)),
      programmes_(files_, workDir, [workDir] { return ReadInstallation(workDir); }, model_, queue_),
      watcher_(std::move(workDir), model_) {}

Gateway::~Gateway() { stop(); }

bool Gateway::start(std::string* error) {
  if (!options_.usersFile.empty()) {
    users_ = Users::Load(options_.usersFile, error);
    if (!users_) return false;
  }
  if (options_.http) {
    in_addr a{};
    inet_pton(AF_INET, options_.httpAddress.c_str(), &a);
    if (!users_ && !IsLoopback(ntohl(a.s_addr))) {
      *error = "--http " + options_.httpAddress +
               " reaches beyond this machine: it needs --users, so that only users who log in "
               "can switch the installation";
      return false;
    }
    if (!users_ && !RequestUser(options_.webUser)) {
      *error = "--web-user: not a name that can be sent to Tessaro";
      return false;
    }
  }
  if (options_.history != "none") {
    history_ = History::Open(options_.history, error);
    if (!history_) return false;
    recorder_ = std::make_unique<Recorder>(*history_, model_,
                                           std::chrono::seconds(options_.historyBatchSeconds));
    recorder_->start();
  }
  if (!options_.mqtt.host.empty()) {
    mqtt_ = std::make_unique<MqttFace>(options_.mqtt, model_, queue_);
    if (!mqtt_->start(error)) return false;
  }
  watcher_.start();
  if (options_.http) {
    web_ = std::make_unique<WebServer>(options_, model_, queue_, users_ ? &*users_ : nullptr,
                                       history_.get(), programmes_);
    if (!web_->start(error)) return false;
  }
  return true;
}

void Gateway::stop() {
  model_.stop();  // ends the event streams' waits
  if (web_) web_->stop();
  watcher_.stop();
  if (mqtt_) mqtt_->stop();
  if (recorder_) recorder_->stop();
}

uint16_t Gateway::httpPort() const { return web_ ? web_->port() : 0; }
