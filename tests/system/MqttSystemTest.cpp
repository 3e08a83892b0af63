// tessaro_gateway's MQTT face against a real Mosquitto broker on a free
// loopback port, with Mosquitto's own clients as the outside world.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
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

class MqttSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(run);
    std::filesystem::create_directories(root.path() + "/debug");
    WriteFile(run + "/Tessaro.ini",
              "[Devices]\ndev0=dummy_io\n[Digital_Outputs]\nout0=0,0,-1,aus,K\xFC" "che\n"
              "out1=0,1,-1,ein,Pumpe\n");
    // No persistence: a restarted broker has forgotten every retained message.
    WriteFile(root.path() + "/mosquitto.conf", "listener " + std::to_string(port) +
                                                   " 127.0.0.1\nallow_anonymous true\npersistence false\n");
    startBroker();
    std::string failure;
    server = StartServer(TESSARO_BINARY, run, &failure);
    ASSERT_NE(server, nullptr) << failure;
    gateway = std::make_unique<Process>(
        TESSARO_GATEWAY_BINARY,
        std::vector<std::string>{"--http", "none", "--mqtt", "127.0.0.1:" + std::to_string(port)}, run,
        Process::Input::DevNull);
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

TEST_F(MqttSystemTest, DiscoveryStateAndCommandsReachHomeAssistantAndTheServer) {
  ASSERT_TRUE(statusIs("online")) << gateway->output();
  // Per channel a select, a binary_sensor and a number, and the enable switch.
  const std::string configs = subscribe("homeassistant/#", 7, 10);
  std::istringstream lines(configs);
  std::set<std::string> ids, components;
  for (std::string line; std::getline(lines, line);) {
    SCOPED_TRACE(line);
    const std::string topic = line.substr(0, line.find(' '));
    const json c = json::parse(line.substr(line.find(' ') + 1));
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

}  // namespace
