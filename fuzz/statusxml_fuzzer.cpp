// The status files as the gateway reads them: the input as fast.xml and as
// slow.xml (a file is only ever one of them), truncated or foreign as they
// may come, put together with an installation of every sensor kind and two
// channels, and the state as the faces give it on: the JSON of the API, the
// MQTT state topics and Home Assistant's configs. Numbers stay finite, MQTT
// numbers in fixed notation, every JSON text parses back.

#include <cmath>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "gateway/model/StateAssembler.h"
#include "gateway/model/StateJson.h"
#include "gateway/mqtt/HaDiscovery.h"
#include "gateway/mqtt/MqttTopics.h"

namespace {

Installation EverySensorKind() {
  Installation i;
  i.deviceTypes[0] = "dummy_io";
  i.deviceTypes[2] = "hb628";
  i.deviceTypes[3] = "leveljet";
  i.deviceTypes[4] = "klimaloggpro";
  i.deviceTypes[6] = "hb628";
  i.channels[0] = ChannelConfig{0, 0, "Pumpe", "", {}};
  i.channels[5] = ChannelConfig{0, 5, "K\u00fcche", "", {}};
  return i;
}

// "None", or an optional minus, digits, and optionally a point and digits.
bool FixedOrNone(std::string_view text) {
  if (text == "None") return true;
  if (text.starts_with('-')) text.remove_prefix(1);
  const size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction = point == std::string_view::npos ? "0" : text.substr(point + 1);
  return !whole.empty() && !fraction.empty() &&
         whole.find_first_not_of("0123456789") == std::string_view::npos &&
         fraction.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = AsText(data, size);
  const auto t0 = StateAssembler::Clock::time_point();
  StateAssembler assembler;
  assembler.setInstallation(EverySensorKind());
  assembler.onFast(text, t0);
  assembler.onSlow(text);
  const State s = assembler.state(t0);

  for (const AnalogInputs& a : s.ai) {
    for (const double v : a.ch) FUZZ_CHECK(std::isfinite(v));
  }
  for (const TankLevel& k : s.tank) {
    FUZZ_CHECK(std::isfinite(k.dist) && std::isfinite(k.level) && std::isfinite(k.liter) &&
               std::isfinite(k.percent));
  }
  for (const ClimateValues& c : s.klp) {
    for (const auto* values : {&c.tmp, &c.hum}) {
      for (const auto& v : *values) FUZZ_CHECK(!v || std::isfinite(*v));
    }
  }
  for (const std::string& m : s.messages)
    FUZZ_CHECK(!m.empty() && m.find('\n') == std::string::npos);

  FUZZ_CHECK(nlohmann::json::accept(Dump(ToJson(s))));
  for (const auto& [topic, payload] : StateTopics(s, "tessaro")) {
    const bool number = topic.starts_with("tessaro/ai/") || topic.starts_with("tessaro/tank/") ||
                        topic.starts_with("tessaro/klp/");
    if (number && !topic.ends_with("/available")) FUZZ_CHECK(FixedOrNone(payload));
  }
  for (const auto& [topic, config] : DiscoveryConfigs(s, "tessaro", "homeassistant")) {
    FUZZ_CHECK(nlohmann::json::accept(config));
  }
  return 0;
}
