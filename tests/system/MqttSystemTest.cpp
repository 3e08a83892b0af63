// tessaro_gateway's MQTT face against a real Mosquitto broker on a free
// loopback port, with Mosquitto's own clients as the outside world, and a
// client of the test's own where messages must be counted.
#include <gtest/gtest.h>
#include <mosquitto.h>
#include <signal.h>

#include <charconv>
#include <filesystem>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tools/support/FreePort.h"
#include "tools/support/Wait.h"

namespace {

using nlohmann::json;

// Room for a loaded machine: each look at the broker is a mosquitto_sub
// that waits a second or two for its messages.
bool Eventually(const std::function<bool()>& done) { return WaitUntil(done, 30000); }

// The discovery topics Home Assistant's MQTT integration takes (its
// TOPIC_MATCHER, after the discovery prefix); it drops any other with a
// warning.
const std::regex kHomeAssistantTakes(
    R"(homeassistant/\w+/(?:[a-zA-Z0-9_-]+/)?[a-zA-Z0-9_-]+/config)");

// A client of the test's own on the broker, keeping every message it
// receives in order.
class Peer {
 public:
  struct Message {
    std::string topic, payload;
  };
  using Wanted = std::function<bool(const std::string&)>;

  explicit Peer(int port) {
    static const bool ready = mosquitto_lib_init() == MOSQ_ERR_SUCCESS;
    client_ = mosquitto_new(nullptr, true, this);
    mosquitto_message_callback_set(client_, [](mosquitto*, void* self, const mosquitto_message* m) {
      auto* p = static_cast<Peer*>(self);
      std::lock_guard lock(p->mutex_);
      p->messages_.push_back({m->topic, std::string(static_cast<const char*>(m->payload),
                                                    static_cast<size_t>(m->payloadlen))});
    });
    mosquitto_subscribe_callback_set(client_, [](mosquitto*, void* self, int, int, const int*) {
      ++static_cast<Peer*>(self)->acks_;
    });
    mosquitto_publish_callback_set(
        client_, [](mosquitto*, void* self, int) { ++static_cast<Peer*>(self)->acks_; });
    connected_ = ready && mosquitto_connect(client_, "127.0.0.1", port, 60) == MOSQ_ERR_SUCCESS &&
                 mosquitto_loop_start(client_) == MOSQ_ERR_SUCCESS;
  }
  ~Peer() {
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, false);
    mosquitto_destroy(client_);
  }

  // Both wait for the broker's acknowledgement. At QoS 0 a broker hands over
  // what comes at once, never dropping what its queue for a client cannot hold.
  bool subscribe(const std::string& pattern) {
    return acknowledged([&] { return mosquitto_subscribe(client_, nullptr, pattern.c_str(), 0); });
  }
  bool publish(const std::string& topic, const std::string& payload, bool retain = false) {
    return acknowledged([&] {
      return mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                               payload.data(), 1, retain);
    });
  }
  std::vector<Message> messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  // Waits for a message on topic, from the from-th message on, whose payload
  // is wanted; its payload, nothing when none came.
  std::optional<std::string> waitFor(const std::string& topic, const Wanted& wanted,
                                     size_t from = 0) const {
    std::optional<std::string> found;
    Eventually([&] {
      const std::vector<Message> all = messages();
      for (size_t i = from; i < all.size() && !found; ++i) {
        if (all[i].topic == topic && wanted(all[i].payload)) found = all[i].payload;
      }
      return found.has_value();
    });
    return found;
  }

 private:
  bool acknowledged(const std::function<int()>& request) {
    const int before = acks_;
    return connected_ && request() == MOSQ_ERR_SUCCESS &&
           Eventually([&] { return acks_ > before; });
  }

  mosquitto* client_ = nullptr;
  bool connected_ = false;
  std::atomic<int> acks_{0};
  mutable std::mutex mutex_;
  std::vector<Message> messages_;
};

Peer::Wanted Is(const std::string& payload) {
  return [payload](const std::string& p) { return p == payload; };
}
Peer::Wanted Has(const std::string& part) {
  return [part](const std::string& p) { return p.find(part) != std::string::npos; };
}
bool Any(const std::string&) {
  return true;
}

// Broker and gateway in a temporary installation; a server only where the
// test starts one.
class MqttInstallation : public ::testing::Test {
 protected:
  MqttInstallation() {
    std::filesystem::create_directories(run);
    std::filesystem::create_directories(root.path() + "/debug");
  }
  void SetUp() override {
    // No persistence: a restarted broker has forgotten every retained message.
    WriteFile(root.path() + "/mosquitto.conf", "listener " + std::to_string(port) +
                                                   " 127.0.0.1\nallow_anonymous true\npersistence false\n");
    startBroker();
  }
  void startGateway(std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"--http", "none", "--mqtt",
                                     "127.0.0.1:" + std::to_string(port)};
    args.insert(args.end(), more.begin(), more.end());
    gateway = std::make_unique<Process>(TESSARO_GATEWAY_BINARY, args, run, Process::Input::DevNull);
  }

  void startBroker() {
    broker = std::make_unique<Process>("/usr/sbin/mosquitto",
                                       std::vector<std::string>{"-c", root.path() + "/mosquitto.conf"},
                                       run, Process::Input::DevNull);
    ASSERT_TRUE(Eventually([&] { return subscribe("$SYS/broker/version", 1, 1).find("mosquitto") != std::string::npos; }));
  }

  // "topic payload" lines of the first count messages on topic, waiting at
  // most seconds (mosquitto_sub -v -C -W).
  std::string subscribe(const std::string& topic, int count, int seconds) {
    Process sub("/usr/bin/mosquitto_sub",
                {"-h", "127.0.0.1", "-p", std::to_string(port), "-t", topic, "-v", "-C",
                 std::to_string(count), "-W", std::to_string(seconds)},
                run, Process::Input::DevNull);
    sub.wait((seconds + 5) * 1000);
    return sub.output();
  }
  void publish(const std::string& topic, const std::string& payload) {
    Process pub("/usr/bin/mosquitto_pub",
                {"-h", "127.0.0.1", "-p", std::to_string(port), "-t", topic, "-m", payload}, run,
                Process::Input::DevNull);
    pub.wait(10000);
  }
  bool statusIs(const char* status) {
    return Eventually([&] { return subscribe("tessaro/status", 1, 2) == std::string("tessaro/status ") + status + "\n"; });
  }
  std::string slowXml() const { return ReadFile(root.path() + "/debug/slow.xml"); }

  TempDir root;
  std::string run = root.path() + "/run";
  int port = FreePort();
  std::unique_ptr<Process> broker;
  std::unique_ptr<Process> server;
  std::unique_ptr<Process> gateway;
};

class MqttSystemTest : public MqttInstallation {
 protected:
  void SetUp() override {
    WriteFile(run + "/Tessaro.ini",
              "[Devices]\ndev0=dummy_io\n[Digital_Outputs]\nout0=0,0,-1,aus,K\xFC"
              "che\n"
              "out1=0,1,-1,ein,Pumpe\n");
    MqttInstallation::SetUp();
    std::string failure;
    server = StartServer(TESSARO_BINARY, run, &failure);
    ASSERT_NE(server, nullptr) << failure;
    startGateway();
  }
};

// Status files as a server would leave them, for tests that need no server.
class MqttWithoutServer : public MqttInstallation {
 protected:
  void SetUp() override {
    WriteFile(run + "/Tessaro.ini",
              "[Devices]\ndev0=dummy_io\ndev1=hb628\ndev2=leveljet\ndev3=klimaloggpro\n"
              "[Digital_Outputs]\nout0=0,0,-1,aus,Pumpe\n");
    WriteFile(root.path() + "/debug/fast.xml",
              "<fast><AI><valid>1</valid><CH>0.001</CH><CH>65.535</CH></AI></fast>");
    WriteFile(
        root.path() + "/debug/slow.xml",
        "<slow><slowid>1</slowid><tank><valid>1</valid><dist>10.0</dist><level>200.0</level>"
        "<liter>100000</liter><percent>100</percent></tank><klp><valid>1</valid>"
        "<tmp>0.0001</tmp><tmp>nan</tmp><hum>1e2</hum></klp><digout><outn>0</outn><valid>1</valid>"
        "<mode>aus</mode></digout></slow>");
    MqttInstallation::SetUp();
  }
};

TEST_F(MqttSystemTest, DiscoveryStateAndCommandsReachHomeAssistantAndTheServer) {
  ASSERT_TRUE(statusIs("online")) << gateway->output();
  // Per channel a select, a binary_sensor and two numbers, and the enable switch.
  const std::string configs = subscribe("homeassistant/#", 9, 10);
  std::istringstream lines(configs);
  std::set<std::string> ids, components;
  for (std::string line; std::getline(lines, line);) {
    SCOPED_TRACE(line);
    const std::string topic = line.substr(0, line.find(' '));
    const json c = json::parse(line.substr(line.find(' ') + 1));
    EXPECT_TRUE(std::regex_match(topic, kHomeAssistantTakes));
    components.insert(topic.substr(0, topic.find("/tessaro/")));
    EXPECT_TRUE(ids.insert(c.at("unique_id").get<std::string>()).second);
    EXPECT_EQ(c.at("device").at("identifiers"), json::array({"tessaro"}));
    EXPECT_EQ(c.at("availability").at(0).at("topic"), "tessaro/status");
    EXPECT_TRUE(c.at("state_topic").is_string());
    if (topic.find("/select/") != std::string::npos) {
      EXPECT_EQ(c.at("options"), json::array({"aus", "ein", "uhr", "slave"}));
    }
    if (topic.find("/binary_sensor/") == std::string::npos) {
      EXPECT_TRUE(c.at("command_topic").is_string());
    }
  }
  EXPECT_EQ(components, (std::set<std::string>{"homeassistant/binary_sensor", "homeassistant/number",
                                               "homeassistant/select", "homeassistant/switch"}));
  EXPECT_NE(configs.find("\"name\":\"K\u00fcche Betriebsart\""), std::string::npos) << configs;
  EXPECT_EQ(subscribe("tessaro/out/+/mode", 2, 5), "tessaro/out/0/mode aus\ntessaro/out/1/mode ein\n");

  publish("tessaro/out/0/mode/set", "ein");
  EXPECT_TRUE(Eventually([&] {
    return slowXml().find("<outn>0</outn>\n   <valid>1</valid>\n   <value>1</value>\n   <mode>ein</mode>") !=
           std::string::npos;
  })) << slowXml();
  EXPECT_NE(ReadFile(run + "/logfile.txt").find("[m] K\xFC" "che: ein"), std::string::npos);
  EXPECT_TRUE(Eventually([&] { return subscribe("tessaro/out/0/state", 1, 2) == "tessaro/out/0/state ON\n"; }));
}

TEST_F(MqttSystemTest, BrokerRestartRepublishesAServerStopSaysOfflineARemovedChannelLeaves) {
  ASSERT_TRUE(statusIs("online")) << gateway->output();
  broker->signal(SIGTERM);
  ASSERT_EQ(broker->wait(10000), 0);
  startBroker();
  EXPECT_TRUE(statusIs("online"));
  EXPECT_EQ(subscribe("tessaro/out/1/mode", 1, 10), "tessaro/out/1/mode ein\n");
  EXPECT_NE(subscribe("homeassistant/select/tessaro/out1_mode/config", 1, 10).find("Pumpe"),
            std::string::npos);

  server->signal(SIGTERM);
  ASSERT_EQ(server->wait(10000), 0);
  EXPECT_TRUE(statusIs("offline"));

  // Restarted without channel 1: its configs go from the broker.
  WriteFile(run + "/Tessaro.ini", "[Devices]\ndev0=dummy_io\n[Digital_Outputs]\nout0=0,0,-1,aus\n");
  std::string failure;
  server = StartServer(TESSARO_BINARY, run, &failure);
  ASSERT_NE(server, nullptr) << failure;
  EXPECT_TRUE(statusIs("online"));
  EXPECT_TRUE(Eventually([&] {
    const std::string configs = subscribe("homeassistant/#", 10, 1);
    return configs.find("out0_mode") != std::string::npos && configs.find("out1_") == std::string::npos;
  }));
  EXPECT_NE(subscribe("homeassistant/select/tessaro/out0_mode/config", 1, 5).find("dev0_ch0"),
            std::string::npos);
}

// Each kind of timer in the number that names it, within the number's range;
// the log and what went wrong are said on their topics as they happen.
TEST_F(MqttSystemTest, TimersShowInTheNumberOfTheirKindAndLogAndErrorsArePublished) {
  ASSERT_TRUE(statusIs("online")) << gateway->output();
  Peer peer(port);
  ASSERT_TRUE(peer.subscribe("tessaro/#") && peer.subscribe("homeassistant/number/#"));
  ASSERT_TRUE(peer.publish("tessaro/out/0/timer/set", R"({"minutes":2000,"on":true})"));
  ASSERT_TRUE(peer.publish("tessaro/out/1/timer/set", R"({"minutes":30,"on":false})"));
  EXPECT_TRUE(peer.waitFor("tessaro/out/0/timer_on", Is("2000")));
  EXPECT_TRUE(peer.waitFor("tessaro/out/1/timer_off", Is("30")));
  EXPECT_TRUE(peer.waitFor("tessaro/out/1/state", Is("OFF")));
  const auto number = peer.waitFor("homeassistant/number/tessaro/out0_timer/config", Any);
  ASSERT_TRUE(number);
  EXPECT_EQ(json::parse(*number).at("state_topic"), "tessaro/out/0/timer_on");
  EXPECT_LE(2000, json::parse(*number).at("max").get<int>());
  EXPECT_TRUE(peer.waitFor("tessaro/log", Has(" [m] K\u00fcche: Timer = 2000 min [ein]")));

  size_t from = peer.messages().size();
  ASSERT_TRUE(peer.publish("tessaro/out/30/mode/set", "ein"));
  EXPECT_TRUE(peer.waitFor("tessaro/error",
                           Has(R"("reply":"Tessaro.Dout: out30 = ein fehlgeschlagen")"), from));
  // Of a huge message a few hundred bytes come back.
  from = peer.messages().size();
  ASSERT_TRUE(peer.publish("tessaro/out/0/mode/set", std::string(50 << 20, 'x')));
  const auto cut = peer.waitFor("tessaro/error", Any, from);
  ASSERT_TRUE(cut);
  EXPECT_EQ(json::parse(*cut).at("payload"), std::string(200, 'x') + "\u2026");
}

// A prefix that is no single topic level would put the state where the
// subscriptions do not look; any other gives discovery topics Home
// Assistant takes. Numbers go out as Home Assistant shows them, spelled out.
TEST_F(MqttWithoutServer,
       APrefixOfOneLevelGivesTopicsAndNumbersHomeAssistantTakesAnyOtherIsRefused) {
  Process refused(TESSARO_GATEWAY_BINARY,
                  {"--http", "none", "--mqtt", "127.0.0.1:" + std::to_string(port), "--mqtt-prefix",
                   "haus/tessaro"},
                  run, Process::Input::DevNull);
  EXPECT_EQ(refused.wait(10000), 2);
  EXPECT_NE(refused.output().find("--mqtt-prefix wants one topic level"), std::string::npos)
      << refused.output();

  Peer peer(port);
  ASSERT_TRUE(peer.subscribe("#"));
  startGateway({"--mqtt-prefix", "haus.tessaro"});
  EXPECT_TRUE(peer.waitFor("haus.tessaro/tank/2/liter", Is("100000")));
  EXPECT_TRUE(peer.waitFor("haus.tessaro/klp/3/tmp/0", Is("0.0001")));
  EXPECT_TRUE(peer.waitFor("haus.tessaro/klp/3/tmp/1", Is("None")));  // nan
  EXPECT_TRUE(peer.waitFor("haus.tessaro/klp/3/hum/0", Is("100")));
  // The last config: every message of the gateway's first round came before it.
  const auto last = peer.waitFor("homeassistant/switch/haus_tessaro/enable/config", Any);
  ASSERT_TRUE(last);
  EXPECT_EQ(json::parse(*last).at("device").at("name"), "Tessaro haus.tessaro");
  EXPECT_EQ(json::parse(*last).at("origin").at("name"), "tessaro_gateway");
  size_t configs = 0, numbers = 0;
  for (const Peer::Message& m : peer.messages()) {
    double v = 0;
    const char* end = m.payload.data() + m.payload.size();
    if (m.topic.starts_with("homeassistant/")) {
      ++configs;
      EXPECT_TRUE(std::regex_match(m.topic, kHomeAssistantTakes)) << m.topic;
    } else if (!m.payload.empty() && std::from_chars(m.payload.data(), end, v).ptr == end) {
      ++numbers;
      EXPECT_TRUE(std::regex_match(m.payload, std::regex(R"(-?\d+(\.\d+)?)")))
          << m.topic << " " << m.payload;
    }
  }
  EXPECT_EQ(configs,
            4u + 8 + 4 + 3 + 1);  // a channel's four, the inputs, the tank, the climate, enable
  EXPECT_EQ(numbers, 3u + 8 + 4 + 2);  // the channel's timers, the inputs, the tank, the climate
}

// Stale configs are found as the broker hands over the retained messages,
// and each is deleted once, however many there are.
TEST_F(MqttWithoutServer, EveryStaleRetainedConfigIsDeletedOnce) {
  constexpr size_t kStale = 2000;
  Peer peer(port);
  for (size_t i = 0; i < kStale; ++i) {
    ASSERT_TRUE(peer.publish("homeassistant/sensor/tessaro/stale" + std::to_string(i) + "/config",
                             "{}", true));
  }
  ASSERT_TRUE(peer.subscribe("homeassistant/#"));
  startGateway();
  auto deletions = [&] {
    std::map<std::string, int> count;
    for (const Peer::Message& m : peer.messages()) count[m.topic] += m.payload.empty();
    std::erase_if(count, [](const auto& c) { return c.second == 0; });
    return count;
  };
  ASSERT_TRUE(Eventually([&] { return deletions().size() == kStale; })) << deletions().size();
  // Home Assistant's coming back has every config sent again, after whatever
  // the retained ones caused.
  const size_t from = peer.messages().size();
  ASSERT_TRUE(peer.publish("homeassistant/status", "online"));
  ASSERT_TRUE(peer.waitFor("homeassistant/switch/tessaro/enable/config", Any, from));
  const std::map<std::string, int> count = deletions();
  EXPECT_EQ(count.size(), kStale);
  for (const auto& [topic, n] : count) {
    EXPECT_NE(topic.find("/tessaro/stale"), std::string::npos) << topic;
    EXPECT_EQ(n, 1) << topic;
  }
}

}  // namespace
