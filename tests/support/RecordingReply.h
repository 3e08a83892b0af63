#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/Reply.h"
#include "core/Tessaro.h"

// Keeps every reply as a separate send, and the user the event log had at
// each ("(none)" for none).
class RecordingReply final : public ReplySink {
 public:
  explicit RecordingReply(Tessaro& t) : t_(t) {}
  void send(std::string_view bytes) override {
    sends.emplace_back(bytes);
    users.emplace_back(t_.eventLog.user() != nullptr ? t_.eventLog.user() : "(none)");
  }
  std::vector<std::string> sends;
  std::vector<std::string> users;

 private:
  Tessaro& t_;
};
