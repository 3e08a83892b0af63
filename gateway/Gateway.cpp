#include "gateway/Gateway.h"

#include "gateway/commands/RequestUser.h"
#include "gateway/history/History.h"
#include "gateway/history/Recorder.h"
#include "gateway/model/Installation.h"
#include "gateway/mqtt/MqttFace.h"
#include "gateway/programmes/Programmes.h"
#include "gateway/web/Users.h"
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
    : options_(std::move(options)), workDir_(workDir), queue_(targetOf(options_)),
      watcher_(files_, std::move(workDir), model_) {}

Gateway::~Gateway() { stop(); }

bool Gateway::start(std::string* error) {
  if (!options_.usersFile.empty()) {
    std::optional<Users> users = Users::Load(options_.usersFile, error);
    if (!users) return false;
    users_ = std::make_unique<Users>(std::move(*users));
  }
  if (options_.http) {
    if (!users_ && ReachesBeyondLoopback(options_.web.address)) {
      *error = "--http " + options_.web.address +
               " reaches beyond this machine: it needs --users, so that only users who log in "
               "can switch the installation";
      return false;
    }
    if (!users_ && !RequestUser(options_.web.anonymousUser)) {
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
  if (options_.http) {
    // Made before the watcher runs: it listens to the model from its first state.
    programmes_ = std::make_unique<Programmes>(
        files_, workDir_, [this] { return ReadInstallation(files_, workDir_); }, model_, queue_);
    web_ = std::make_unique<WebServer>(options_.web, model_, queue_, users_.get(), recorder_.get(),
                                       *programmes_);
  }
  watcher_.start();
  return !web_ || web_->start(error);
}

void Gateway::stop() {
  if (web_) web_->stop();
  watcher_.stop();
  if (mqtt_) mqtt_->stop();
  if (recorder_) recorder_->stop();
}

uint16_t Gateway::httpPort() const { return web_ ? web_->port() : 0; }
