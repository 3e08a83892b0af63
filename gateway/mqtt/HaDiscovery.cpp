#include "gateway/mqtt/HaDiscovery.h"

#include <nlohmann/json.hpp>

#include "gateway/commands/CommandArguments.h"
#include "gateway/model/StateJson.h"
#include "gateway/mqtt/MqttCommand.h"
#include "gateway/mqtt/TopicScheme.h"

using nlohmann::json;

namespace {

struct Builder {
  const std::string& prefix;
  const std::string& discovery;
  std::string nodeId;
  std::map<std::string, std::string>& configs;
  json device;
  json origin;

  // Adds the config of one entity; base is the part of the topics that the
  // entity's values share ("out/3"), objectId its id within the device.
  void add(const std::string& component, const std::string& objectId, const std::string& base,
           json config) {
    config["unique_id"] = prefix + "_" + objectId;
    config["device"] = device;
    config["origin"] = origin;
    config["availability_mode"] = "all";
    json availability = json::array({{{"topic", StatusTopic(prefix)}}});
    if (!base.empty()) availability.push_back({{"topic", prefix + "/" + base + "/available"}});
    config["availability"] = availability;
    configs[discovery + "/" + component + "/" + nodeId + "/" + objectId + "/config"] = Dump(config);
  }

  void measurement(const std::string& objectId, const std::string& base, const std::string& name,
                   const std::string& stateTopic, const char* deviceClass, const char* unit) {
    json c = {{"name", name}, {"state_topic", prefix + "/" + stateTopic}, {"state_class", "measurement"}};
    if (deviceClass != nullptr) c["device_class"] = deviceClass;
    if (unit != nullptr) c["unit_of_measurement"] = unit;
    add("sensor", objectId, base, c);
  }

  // A number that starts a timer of one kind, 0 ending the one that runs.
  void timer(int n, const std::string& objectId, const std::string& name, const char* kind, bool on) {
    const std::string topic = OutputTopic(prefix, n);
    add("number", objectId, OutputBase(n),
        {{"name", name},
         {"state_topic", topic + "/" + kind},
         {"command_topic", CommandTopic(topic + "/timer")},
         {"command_template",
          std::string("{\"minutes\":{{ value | int }},\"on\":") + (on ? "true" : "false") + "}"},
         {"min", 0},
         {"max", kTimerMinutesMax},
         {"step", 1},
         {"mode", "box"},
         {"unit_of_measurement", "min"},
         {"icon", on ? "mdi:timer-outline" : "mdi:timer-off-outline"}});
  }
};

}  // namespace

std::string DiscoveryNodeId(std::string_view prefix) {
  std::string id(prefix);
  for (char& c : id) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '_' || c == '-';
    if (!allowed) c = '_';
  }
  return id;
}

std::map<std::string, std::string> DiscoveryConfigs(const State& s, const std::string& prefix,
                                                    const std::string& discoveryPrefix) {
  std::map<std::string, std::string> configs;
  // The default prefix keeps the device name it always had, and with it the
  // entity ids Home Assistant made from it; any other tells the
  // installations on one broker apart.
  Builder b{prefix,
            discoveryPrefix,
            DiscoveryNodeId(prefix),
            configs,
            {{"identifiers", json::array({prefix})},
             {"name", prefix == "tessaro" ? std::string("Tessaro") : "Tessaro " + prefix},
             {"manufacturer", "Tessaro"},
             {"model", "Heizungssteuerung"}},
            {{"name", "tessaro_gateway"}, {"sw_version", TESSARO_VERSION}}};

  for (const OutputState& o : s.outputs) {
    const std::string n = std::to_string(o.n);
    const std::string base = OutputBase(o.n);
    const std::string topic = OutputTopic(prefix, o.n);
    b.add("select", "out" + n + "_mode", base,
          {{"name", o.name + " Betriebsart"},
           {"state_topic", topic + "/mode"},
           {"command_topic", CommandTopic(topic + "/mode")},
           {"options", ChannelModeNames()}});
    b.add("binary_sensor", "out" + n + "_state", base,
          {{"name", o.name},
           {"state_topic", topic + "/state"},
           {"payload_on", "ON"},
           {"payload_off", "OFF"},
           {"device_class", "power"}});
    b.timer(o.n, "out" + n + "_timer", o.name + " Timer ein", "timer_on", true);
    b.timer(o.n, "out" + n + "_timer_off", o.name + " Timer aus", "timer_off", false);
  }
  for (const AnalogInputs& a : s.ai) {
    if (a.dev < 0) continue;
    const std::string d = std::to_string(a.dev);
    for (size_t k = 1; k <= a.ch.size(); ++k) {
      const std::string ch = std::to_string(k);
      b.measurement("ai" + d + "_" + ch, "ai/" + d, "Eingang dev" + d + " CH" + ch,
                    "ai/" + d + "/" + ch, "voltage", "V");
    }
  }
  for (const TankLevel& t : s.tank) {
    if (t.dev < 0) continue;
    const std::string d = std::to_string(t.dev);
    const std::string base = "tank/" + d;
    b.measurement("tank" + d + "_level", base, "Tank dev" + d + " F\u00fcllh\u00f6he", base + "/level",
                  "distance", "cm");
    b.measurement("tank" + d + "_dist", base, "Tank dev" + d + " Abstand", base + "/dist", "distance",
                  "cm");
    b.measurement("tank" + d + "_liter", base, "Tank dev" + d + " Inhalt", base + "/liter",
                  "volume_storage", "L");
    b.measurement("tank" + d + "_percent", base, "Tank dev" + d + " F\u00fcllstand", base + "/percent",
                  nullptr, "%");
  }
  for (const ClimateValues& c : s.klp) {
    if (c.dev < 0) continue;
    const std::string d = std::to_string(c.dev);
    const std::string base = "klp/" + d;
    for (size_t k = 0; k < c.tmp.size(); ++k) {
      const std::string ch = std::to_string(k);
      b.measurement("klp" + d + "_tmp" + ch, base, "Klima dev" + d + " Temperatur " + ch,
                    base + "/tmp/" + ch, "temperature", "\u00b0C");
    }
    for (size_t k = 0; k < c.hum.size(); ++k) {
      const std::string ch = std::to_string(k);
      b.measurement("klp" + d + "_hum" + ch, base, "Klima dev" + d + " Feuchte " + ch,
                    base + "/hum/" + ch, "humidity", "%");
    }
  }
  b.add("switch", "enable", "",
        {{"name", "Ausgabe freigegeben"},
         {"state_topic", EnableTopic(prefix)},
         {"command_topic", CommandTopic(EnableTopic(prefix))},
         {"payload_on", "ON"},
         {"payload_off", "OFF"},
         {"icon", "mdi:power-plug"}});
  return configs;
}
