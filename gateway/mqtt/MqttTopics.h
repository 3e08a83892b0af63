#pragma once

#include <map>
#include <string>
#include <vector>

#include "gateway/model/State.h"

// The retained state topics under prefix and their payloads (UTF-8), as the
// MQTT face publishes them: PREFIX/out/N/{mode,state,timer,info,available},
// PREFIX/out/N/timer_on and timer_off (the minutes of a running timer of that
// kind, else 0), PREFIX/ai/D/K (K = 1 ... 8, volts), PREFIX/ai/D/available,
// PREFIX/tank/D/{level,liter,percent,dist,available},
// PREFIX/klp/D/{tmp,hum}/K (K = 0 ... 8), PREFIX/klp/D/available and
// PREFIX/enable. "available" is "online" while the entry's valid is 1.
// Numbers are in fixed notation. A value the logger does not have, or one
// that is not finite, is "None", which Home Assistant shows as unknown (an
// empty retained payload would delete the topic instead).
std::map<std::string, std::string> StateTopics(const State& state, const std::string& prefix);

// The log lines of now that were not in before: the lines after the longest
// end of before that now starts with. Nothing before anything was seen.
std::vector<std::string> NewLogLines(const std::vector<std::string>& before,
                                     const std::vector<std::string>& now);
