// What the MQTT face makes of the state and of incoming messages, without a
// broker (the broker is in tests/system/MqttSystemTest.cpp).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "gateway/mqtt/HaDiscovery.h"
#include "gateway/mqtt/MqttCommand.h"
#include "gateway/mqtt/MqttFace.h"
#include "gateway/mqtt/MqttTopics.h"

namespace {

using Lines = std::vector<std::string>;

TEST(MqttLog, OnlyLinesThatFollowWhatWasSeenAreNew) {
  struct Row {
    Lines before, now, fresh;
  };
  const Row rows[] = {
      {{}, {"a", "b"}, {}},                         // at start nothing is new
      {{"a", "b"}, {"a", "b"}, {}},                 // unchanged
      {{"a", "b"}, {"a", "b", "c"}, {"c"}},         // one more
      {{"a", "b", "c"}, {"b", "c", "d", "e"}, {"d", "e"}},  // the list's head dropped off
      {{"x", "x"}, {"x", "x", "x"}, {"x"}},         // equal lines
      {{"a", "b"}, {"c", "d"}, {"c", "d"}},         // more came than the list holds
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(::testing::PrintToString(r.before) + " -> " + ::testing::PrintToString(r.now));
    EXPECT_EQ(NewLogLines(r.before, r.now), r.fresh);
  }
}

TEST(MqttTopics, UnknownClimateValuesAndStaleDevicesAreSaidSo) {
  State s;
  s.enaoutp = false;
  s.outputs.push_back({3, "Pumpe", "dev0 dummy_io", "uhr", true, false, 0, true, "Mi 22:00"});
  s.ai.push_back({2, true, {0.001, 12.345}});
  s.ai.push_back({-1, true, {}});  // not in the configuration: left out
  s.klp.push_back({4, false, "", {21.5, std::nullopt}, {45}});
  const std::map<std::string, std::string> t = StateTopics(s, "p");
  EXPECT_EQ(t.at("p/enable"), "OFF");
  EXPECT_EQ(t.at("p/out/3/state"), "ON");
  EXPECT_EQ(t.at("p/out/3/available"), "offline");
  EXPECT_EQ(t.at("p/ai/2/1"), "0.001");
  EXPECT_EQ(t.at("p/ai/2/2"), "12.345");
  EXPECT_EQ(t.at("p/ai/2/8"), "0");
  EXPECT_EQ(t.at("p/klp/4/tmp/0"), "21.5");
  EXPECT_EQ(t.at("p/klp/4/tmp/1"), "None");
  EXPECT_EQ(t.at("p/klp/4/available"), "offline");
  EXPECT_EQ(t.count("p/ai/-1/1"), 0u);
}

// Each kind of timer has its number, whose value is the minutes of a timer
// of that kind; setting it sends a command that starts that kind, up to the
// longest timer a command may start.
TEST(MqttDiscovery, AnOnTimerAndAnOffTimerEachShowInTheirOwnNumberAndSetTheirOwnKind) {
  State s;
  s.outputs.push_back({0, "Pumpe", "", "ein", true, true, 30, true, "0030"});
  s.outputs.push_back({1, "Ventil", "", "ein", false, true, 2000, false, "2000"});
  const std::map<std::string, std::string> t = StateTopics(s, "p");
  EXPECT_EQ(t.at("p/out/0/timer_on"), "30");
  EXPECT_EQ(t.at("p/out/0/timer_off"), "0");
  EXPECT_EQ(t.at("p/out/1/timer_on"), "0");
  EXPECT_EQ(t.at("p/out/1/timer_off"), "2000");

  const std::map<std::string, std::string> configs = DiscoveryConfigs(s, "p", "ha");
  for (const auto& [object, kind, output] :
       {std::tuple{"out1_timer", "timer_on", "true"}, {"out1_timer_off", "timer_off", "false"}}) {
    SCOPED_TRACE(object);
    const nlohmann::json c =
        nlohmann::json::parse(configs.at("ha/number/p/" + std::string(object) + "/config"));
    EXPECT_EQ(c.at("state_topic"), std::string("p/out/1/") + kind);
    EXPECT_EQ(c.at("max"), kTimerMinutesMax);
    // The template as Home Assistant renders it for a value.
    const auto set = [&](int minutes) {
      std::string payload = c.at("command_template");
      payload.replace(payload.find("{{ value | int }}"), 17, std::to_string(minutes));
      return ParseMqttCommand("p", c.at("command_topic").get<std::string>(), payload, "mqtt");
    };
    EXPECT_EQ(set(kTimerMinutesMax)->request,
              "cmd=dout_timer&username=mqtt&outn=1&time=" + std::to_string(kTimerMinutesMax) +
                  "&output=" + output);
    EXPECT_EQ(set(kTimerMinutesMax + 1)->request, "");
  }
}

TEST(MqttOptions, APrefixIsOneTopicLevelInUtf8) {
  std::string error;
  for (const char* good : {"tessaro", "haus.tessaro", "Haus 2", "K\u00fcche"}) {
    EXPECT_TRUE(CheckMqttPrefix(good, &error)) << good;
  }
  for (const char* bad : {"", "haus/tessaro", "/tessaro", "a+b", "#", "$SYS",
                          "K\xFC"
                          "che"}) {
    error.clear();
    EXPECT_FALSE(CheckMqttPrefix(bad, &error)) << bad;
    EXPECT_NE(error.find("--mqtt-prefix"), std::string::npos);
  }
}

TEST(MqttCommand, AnErrorEchoesAtMostAFewHundredBytesOfAMessage) {
  EXPECT_EQ(EchoOf("ein&outn=4"), "ein&outn=4");
  const std::string fits(kEchoMax, 'x');
  EXPECT_EQ(EchoOf(fits), fits);
  EXPECT_EQ(EchoOf(std::string(1 << 20, 'x')), fits + "\u2026");
  // A character is never cut in two: the one across the limit goes whole.
  const std::string across = std::string(kEchoMax - 1, 'x') + "\u00fc" + "tail";
  EXPECT_EQ(EchoOf(across), std::string(kEchoMax - 1, 'x') + "\u2026");
}

TEST(MqttCommand, MessagesBecomeCheckedRequestsOrSayWhyNot) {
  struct Row {
    const char* topic;
    const char* payload;
    const char* request;  // null: an error; "-": not a command topic
  };
  const Row rows[] = {
      {"t/out/3/mode/set", "ein", "cmd=dout&username=mqtt&outn=3&mode=ein"},
      {"t/out/31/timer/set", R"({"minutes":30,"on":false})",
       "cmd=dout_timer&username=mqtt&outn=31&time=30&output=false"},
      {"t/enable/set", "OFF", "cmd=debug&username=mqtt&enaoutp=0"},
      {"t/out/3/mode/set", "ein&outn=4", nullptr},
      {"t/out/32/mode/set", "ein", nullptr},
      {"t/out/x/mode/set", "ein", nullptr},
      {"t/out/3/timer/set", "30", nullptr},
      {"t/out/3/timer/set", R"({"minutes":-1,"on":true})", nullptr},
      {"t/enable/set", "on", nullptr},
      {"t/out/3/mode", "ein", "-"},
      {"other/out/3/mode/set", "ein", "-"},
      {"t/status", "online", "-"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.topic) + " " + r.payload);
    const std::optional<MqttCommand> c = ParseMqttCommand("t", r.topic, r.payload, "mqtt");
    if (r.request != nullptr && std::string_view(r.request) == "-") {
      EXPECT_FALSE(c);
    } else if (r.request != nullptr) {
      ASSERT_TRUE(c);
      EXPECT_EQ(c->request, r.request);
      EXPECT_EQ(c->error, "");
    } else {
      ASSERT_TRUE(c);
      EXPECT_EQ(c->request, "");
      EXPECT_NE(c->error, "");
    }
  }
}

}  // namespace
