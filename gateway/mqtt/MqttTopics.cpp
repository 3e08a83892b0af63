#include "gateway/mqtt/MqttTopics.h"
#include "gateway/mqtt/TopicScheme.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

// Fixed notation, the shortest that reads back as v (0.0001, 100000): Home
// Assistant shows a payload as it comes, and no exponent form is a value to
// read off a tank. A value that is not finite is no reading at all.
std::string number(double v) {
  if (!std::isfinite(v)) return "None";
  char text[400];  // the longest fixed form of a double (the least subnormal) has 327
  const auto [end, ec] = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed);
  return ec == std::errc() ? std::string(text, end) : "None";
}

const char* availability(bool valid) { return valid ? "online" : "offline"; }

}  // namespace

std::map<std::string, std::string> StateTopics(const State& s, const std::string& prefix) {
  std::map<std::string, std::string> t;
  t[EnableTopic(prefix)] = s.enaoutp ? "ON" : "OFF";
  for (const OutputState& o : s.outputs) {
    const std::string out = OutputTopic(prefix, o.n);
    t[out + "/mode"] = o.mode;
    t[out + "/state"] = o.value ? "ON" : "OFF";
    t[out + "/timer"] = std::to_string(o.timer);
    t[out + "/timer_on"] = std::to_string(o.timerOutput ? o.timer : 0);
    t[out + "/timer_off"] = std::to_string(o.timerOutput ? 0 : o.timer);
    t[out + "/info"] = o.info;
    t[out + "/available"] = availability(o.valid);
  }
  for (const AnalogInputs& a : s.ai) {
    if (a.dev < 0) continue;
    const std::string ai = prefix + "/ai/" + std::to_string(a.dev);
    for (size_t k = 0; k < a.ch.size(); ++k) t[ai + "/" + std::to_string(k + 1)] = number(a.ch[k]);
    t[ai + "/available"] = availability(a.valid);
  }
  for (const TankLevel& k : s.tank) {
    if (k.dev < 0) continue;
    const std::string tank = prefix + "/tank/" + std::to_string(k.dev);
    t[tank + "/level"] = number(k.level);
    t[tank + "/liter"] = number(k.liter);
    t[tank + "/percent"] = number(k.percent);
    t[tank + "/dist"] = number(k.dist);
    t[tank + "/available"] = availability(k.valid);
  }
  for (const ClimateValues& c : s.klp) {
    if (c.dev < 0) continue;
    const std::string klp = prefix + "/klp/" + std::to_string(c.dev);
    for (size_t k = 0; k < c.tmp.size(); ++k) {
      t[klp + "/tmp/" + std::to_string(k)] = c.tmp[k] ? number(*c.tmp[k]) : "None";
    }
    for (size_t k = 0; k < c.hum.size(); ++k) {
      t[klp + "/hum/" + std::to_string(k)] = c.hum[k] ? number(*c.hum[k]) : "None";
    }
    t[klp + "/available"] = availability(c.valid);
  }
  return t;
}

std::vector<std::string> NewLogLines(const std::vector<std::string>& before,
                                     const std::vector<std::string>& now) {
  if (before.empty()) return {};
  for (size_t overlap = std::min(before.size(), now.size()); overlap > 0; --overlap) {
    if (std::equal(before.end() - static_cast<std::ptrdiff_t>(overlap), before.end(), now.begin())) {
      return {now.begin() + static_cast<std::ptrdiff_t>(overlap), now.end()};
    }
  }
  return now;
}
