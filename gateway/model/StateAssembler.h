#pragma once

#include <chrono>
#include <optional>
#include <string_view>

#include "gateway/model/Installation.h"
#include "gateway/model/State.h"
#include "gateway/model/StatusParser.h"

// Puts the State together from the latest text of each status file and the
// installation, and tells a running server from a stopped or stalled one:
// the server rewrites fast.xml about ten times a second, so a fast file not
// rewritten for two seconds means it is down. No input or output here: the
// caller reads the files and says when it saw them change.
class StateAssembler {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kStale = std::chrono::seconds(2);

  void setInstallation(Installation installation) { installation_ = std::move(installation); }

  // fast.xml was seen rewritten at the time given; nothing: it is missing or
  // not a complete status file.
  void onFast(std::optional<std::string_view> text, Clock::time_point at);
  void onSlow(std::optional<std::string_view> text);

  State state(Clock::time_point now) const;

 private:
  Installation installation_;
  std::optional<FastStatus> fast_;
  std::optional<SlowStatus> slow_;
  std::optional<Clock::time_point> lastRewrite_;
};
