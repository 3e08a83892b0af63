#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "gateway/model/State.h"

// What each status file holds, read with a standard XML parser from the
// file's bytes. The files declare ISO 8859-1; the texts come out as UTF-8.
// Device entries carry no device index here (dev -1): the files give only
// their order.

struct FastStatus {
  int64_t slowid = 0;
  std::vector<AnalogInputs> ai;
};

struct SlowStatus {
  int64_t slowid = 0;
  bool enaoutp = true;
  std::vector<TankLevel> tank;
  std::vector<ClimateValues> klp;
  std::vector<OutputState> outputs;  // without name and device
  std::vector<std::string> messages;
};

// Nothing when the text is not a complete status file of that kind.
std::optional<FastStatus> ParseFastXml(std::string_view text);
std::optional<SlowStatus> ParseSlowXml(std::string_view text);
