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

// A client on the broker that keeps every message it receives, in order.
class Peer {
 public:
  struct Message {
    std::string topic, payload;
    bool retained = false;
  };

  explicit Peer(int port) {
    static const bool ready = [] { return mosquitto_lib_init() == MOSQ_ERR_SUCCESS; }();
    client_ = mosquitto_new(nullptr, true, this);
    mosquitto_message_callback_set(client_, [](mosquitto*, void* self, const mosquitto_message* m) {
      auto* p = static_cast<Peer*>(self);
      std::lock_guard lock(p->mutex_);
      p->messages_.push_back({m->topic, std::string(static_cast<const char*>(m->payload),
                                                    static_cast<size_t>(m->payloadlen)),
                              m->retain});
    });
    mosquitto_subscribe_callback_set(client_, [](mosquitto*, void* self, int, int, const int*) {
      ++static_cast<Peer*>(self)->acknowledged_;
    });
    mosquitto_publish_callback_set(client_, [](mosquitto*, void* self, int) {
      ++static_cast<Peer*>(self)->acknowledged_;
    });
    connected_ = ready && mosquitto_connect(client_, "127.0.0.1", port, 60) == MOSQ_ERR_SUCCESS &&
                 mosquitto_loop_start(client_) == MOSQ_ERR_SUCCESS;
  }
  ~Peer() {
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, false);
    mosquitto_destroy(client_);
  }

  // Both wait until the broker has acknowledged the request.
  bool subscribe(const std::string& pattern) {
    // At QoS 0 the broker hands over what comes at once, never dropping what
    // its queue for a client that lags cannot hold.
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
  // The payload of the latest message on topic, waiting until it satisfies
  // wanted (or, with any, until one of them does); nothing when none did.
  std::optional<std::string> waitFor(const std::string& topic,
                                     const std::function<bool(const std::string&)>& wanted,
                                     bool any = false) const {
    std::optional<std::string> found;
    Eventually([&] {
      std::lock_guard lock(mutex_);
      for (auto m = messages_.rbegin(); m != messages_.rend() && !found; ++m) {
        if (m->topic != topic) continue;
        if (wanted(m->payload)) found = m->payload;
        if (!any) break;
      }
      return found.has_value();
    });
    return found;
  }
  std::optional<std::string> waitFor(const std::string& topic, const std::string& payload) const {
    return waitFor(topic, [&](const std::string& p) { return p == payload; });
  }

 private:
  bool acknowledged(const std::function<int()>& request) {
    const int before = acknowledged_;
    return connected_ && request() == MOSQ_ERR_SUCCESS &&
           Eventually([&] { return acknowledged_ > before; });
  }

  mosquitto* client_ = nullptr;
  bool connected_ = false;
  std::atomic<int> acknowledged_{0};
  mutable std::mutex mutex_;
  std::vector<Message> messages_;
};

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
    std::vector<std::string> args = {"--http", "none", "--mqtt", "127.0.0.1:" + std::to_string(port)};
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
              "[Devices]\ndev0=dummy_io\n[Digital_Outputs]\nout0=0,0,-1,aus,K\xFC" "che\n"
              "out1=0,1,-1,ein,Pumpe\n");
    MqttInstallation::SetUp();
    std::string failure;
    server = StartServer(TESSARO_BINARY, run, &failure);
    ASSERT_NE(server, nullptr) << failure;
    startGateway();
  }
};

// Status files as the server leaves them, for tests that need no server.
class MqttWithoutServer : public MqttInstallation {
 protected:
  void SetUp() override {
    WriteFile(run + "/Tessaro.ini",
              "[Devices]\ndev0=dummy_io\ndev1=hb628\ndev2=leveljet\ndev3=klimaloggpro\n"
              "[Digital_Outputs]\nout0=0,0,-1,aus,Pumpe\n");
    WriteFile(root.path() + "/debug/fast.xml",
              "<?xml version=\"1.0\" ?>\n<fast>\n<slowid>1</slowid>\n<AI>\n<valid>1</valid>\n"
              "<CH>0.001</CH>\n<CH>65.535</CH>\n</AI>\n</fast>\n");
    WriteFile(root.path() + "/debug/slow.xml",
              "<?xml version=\"1.0\" ?>\n<slow>\n<slowid>1</slowid>\n"
              "<tank>\n<valid>1</valid>\n<id>1234</id>\n<dist>10.0</dist>\n<level>200.0</level>\n"
              "<liter>100000</liter>\n<percent>100</percent>\n</tank>\n"
              "<klp>\n<valid>1</valid>\n<tmp>0.0001</tmp>\n<tmp>nan</tmp>\n<hum>1e2</hum>\n</klp>\n"
              "<digout>\n<outn>0</outn>\n<valid>1</valid>\n<value>0</value>\n<mode>aus</mode>\n"
              "<timer_time>0</timer_time>\n<timer_output>1</timer_output>\n<info> </info>\n</digout>\n"
              "</slow>\n");
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
  EXPECT_TRUE(peer.waitFor("tessaro/out/0/timer_on", "2000"));
  EXPECT_TRUE(peer.waitFor("tessaro/out/0/timer_off", "0"));
  EXPECT_TRUE(peer.waitFor("tessaro/out/1/timer_off", "30"));
  EXPECT_TRUE(peer.waitFor("tessaro/out/1/timer_on", "0"));
  EXPECT_TRUE(peer.waitFor("tessaro/out/1/state", "OFF"));
  for (const auto& [object, state] : {std::pair{"out0_timer", "tessaro/out/0/timer_on"},
                                      {"out1_timer_off", "tessaro/out/1/timer_off"}}) {
    const auto config = peer.waitFor("homeassistant/number/tessaro/" + std::string(object) + "/config",
                                     [](const std::string&) { return true; });
    ASSERT_TRUE(config) << object;
    const json c = json::parse(*config);
    EXPECT_EQ(c.at("state_topic"), state);
    const int minutes = std::stoi(*peer.waitFor(state, [](const std::string& p) { return p != "0"; }));
    EXPECT_GE(minutes, c.at("min").get<int>());
    EXPECT_LE(minutes, c.at("max").get<int>());
  }
  EXPECT_TRUE(peer.waitFor("tessaro/log", [](const std::string& line) {
    return line.find(" [m] K\u00fcche: Timer = 2000 min [ein]") != std::string::npos;
  }, true));

  ASSERT_TRUE(peer.publish("tessaro/out/30/mode/set", "ein"));
  const auto refused = peer.waitFor("tessaro/error", [](const std::string&) { return true; });
  ASSERT_TRUE(refused);
  EXPECT_EQ(json::parse(*refused).at("reply"), "Tessaro.Dout: out30 = ein fehlgeschlagen");
  // What comes back of a huge message is a few hundred bytes of it.
  ASSERT_TRUE(peer.publish("tessaro/out/0/mode/set", std::string(50 << 20, 'x')));
  const auto cut =
      peer.waitFor("tessaro/error", [](const std::string& e) { return e.find("xxx") != std::string::npos; });
  ASSERT_TRUE(cut);
  EXPECT_LT(cut->size(), 1000u);
  EXPECT_EQ(json::parse(*cut).at("payload"), std::string(200, 'x') + "\u2026");
}

// Home Assistant shows a number as its payload spells it.
TEST_F(MqttWithoutServer, NumbersArePublishedInFixedNotation) {
  Peer peer(port);
  ASSERT_TRUE(peer.subscribe("tessaro/#"));
  startGateway();
  ASSERT_TRUE(peer.waitFor("tessaro/tank/2/liter", "100000"));
  EXPECT_TRUE(peer.waitFor("tessaro/klp/3/tmp/0", "0.0001"));
  EXPECT_TRUE(peer.waitFor("tessaro/klp/3/tmp/1", "None"));
  EXPECT_TRUE(peer.waitFor("tessaro/klp/3/hum/0", "100"));
  EXPECT_TRUE(peer.waitFor("tessaro/ai/1/1", "0.001"));
  size_t numbers = 0;
  for (const Peer::Message& m : peer.messages()) {
    double v = 0;
    const char* end = m.payload.data() + m.payload.size();
    if (std::from_chars(m.payload.data(), end, v).ptr != end || m.payload.empty()) continue;
    ++numbers;
    EXPECT_TRUE(std::regex_match(m.payload, std::regex(R"(-?[0-9]+(\.[0-9]+)?)"))) << m.topic << " " << m.payload;
  }
  EXPECT_EQ(numbers, 17u);  // eight inputs, four tank values, two climate values, three timer topics
}

// A prefix of more than one level would put the state topics where the
// subscriptions do not look; a node id must be of [a-zA-Z0-9_-].
TEST_F(MqttWithoutServer, APrefixThatIsNoTopicLevelIsRefusedAndAnyOtherGivesANodeIdHomeAssistantTakes) {
  Process refused(TESSARO_GATEWAY_BINARY,
                  {"--http", "none", "--mqtt", "127.0.0.1:" + std::to_string(port), "--mqtt-prefix",
                   "haus/tessaro"},
                  run, Process::Input::DevNull);
  EXPECT_EQ(refused.wait(10000), 2);
  EXPECT_NE(refused.output().find("tessaro_gateway: --mqtt-prefix wants one topic level"),
            std::string::npos) << refused.output();

  Peer peer(port);
  ASSERT_TRUE(peer.subscribe("homeassistant/#") && peer.subscribe("haus.tessaro/#"));
  startGateway({"--mqtt-prefix", "haus.tessaro"});
  const auto config = peer.waitFor("homeassistant/select/haus_tessaro/out0_mode/config",
                                   [](const std::string&) { return true; });
  ASSERT_TRUE(config);
  EXPECT_EQ(json::parse(*config).at("device").at("name"), "Tessaro haus.tessaro");
  EXPECT_EQ(json::parse(*config).at("state_topic"), "haus.tessaro/out/0/mode");
  EXPECT_TRUE(peer.waitFor("haus.tessaro/out/0/mode", "aus"));
  for (const Peer::Message& m : peer.messages()) {
    if (m.topic.rfind("homeassistant/", 0) == 0) {
      EXPECT_TRUE(std::regex_match(m.topic, kHomeAssistantTakes)) << m.topic;
    }
  }
}

// Stale configs are found as the broker hands over the retained messages,
// and each is deleted once, however many there are.
TEST_F(MqttWithoutServer, EveryStaleRetainedConfigIsDeletedOnce) {
  constexpr int kStale = 2000;
  Peer peer(port);
  for (int i = 0; i < kStale; ++i) {
    ASSERT_TRUE(peer.publish("homeassistant/sensor/tessaro/stale" + std::to_string(i) + "/config",
                             R"({"name":"alt"})", true));
  }
  ASSERT_TRUE(peer.subscribe("homeassistant/#"));
  startGateway();
  auto deleted = [&] {
    std::map<std::string, int> count;
    for (const Peer::Message& m : peer.messages()) {
      if (m.payload.empty()) ++count[m.topic];
    }
    return count;
  };
  ASSERT_TRUE(Eventually([&] { return deleted().size() == kStale; })) << deleted().size();
  // Home Assistant's coming back has every config sent again: whatever the
  // retained configs caused has been sent before that.
  const size_t before = peer.messages().size();
  ASSERT_TRUE(peer.publish("homeassistant/status", "online"));
  ASSERT_TRUE(Eventually([&] {
    const std::vector<Peer::Message> all = peer.messages();
    for (size_t i = before; i < all.size(); ++i) {
      if (all[i].topic == "homeassistant/switch/tessaro/enable/config") return true;
    }
    return false;
  }));
  const std::map<std::string, int> count = deleted();
  EXPECT_EQ(count.size(), static_cast<size_t>(kStale));
  for (const auto& [topic, n] : count) {
    EXPECT_EQ(topic.find("/stale"), std::string("homeassistant/sensor/tessaro").size()) << topic;
    EXPECT_EQ(n, 1) << topic;
  }
}

}  // namespace
