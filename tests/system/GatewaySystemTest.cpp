// tessaro_gateway against the real server on loopback, as a browser or a
// script uses it.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <thread>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tools/support/Wait.h"

namespace {

using nlohmann::json;

constexpr const char* kIni =
    "[TCP/IP]\nlisten=127.0.0.1\n[Devices]\ndev0=dummy_io\n[Digital_Outputs]\n"
    "out0=0,0,-1,aus,K\xFC" "che\nout1=0,1,-1,ein,W\xE4rmepumpe\nout2=0,2,-1,uhr,Heizung,heizung.txt\n";

const httplib::Headers kJson = {{"Content-Type", "application/json"}};

// Room for a loaded machine: the gateway sees the server through the status
// files it reads a few times a second, and each look is an HTTP request.
bool Eventually(const std::function<bool()>& done) { return WaitUntil(done, 20000); }

class GatewaySystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(run);
    std::filesystem::create_directories(root.path() + "/debug");
    WriteFile(run + "/Tessaro.ini", kIni);
    WriteFile(run + "/heizung.txt", "1111111 06:00 on\n1111111 22:00 off\n");
    std::string failure;
    server = StartServer(TESSARO_BINARY, run, &failure);
    ASSERT_NE(server, nullptr) << failure;
  }

  // Starts the gateway with args on a free port; false when it did not come up.
  bool startGateway(std::vector<std::string> args = {}, Process::Input input = Process::Input::DevNull) {
    port = StartGateway(TESSARO_GATEWAY_BINARY, std::move(args), run, &gateway, input);
    client = std::make_unique<httplib::Client>("127.0.0.1", port);
    return port != 0;
  }

  json state() {
    const auto res = client->Get("/api/state");
    return res && res->status == 200 ? json::parse(res->body) : json();
  }
  std::string slowXml() const { return ReadFile(root.path() + "/debug/slow.xml"); }

  TempDir root;
  std::string run = root.path() + "/run";
  std::unique_ptr<Process> server;
  std::unique_ptr<Process> gateway;
  std::unique_ptr<httplib::Client> client;
  int port = 0;
};

TEST_F(GatewaySystemTest, StateShowsTheChannelsInUtf8AndAModeChangeReachesSlowXmlAndTheEvents) {
  ASSERT_TRUE(startGateway()) << gateway->output();
  ASSERT_TRUE(Eventually([&] { return state().value("alive", false); }));
  const json s = state();
  ASSERT_EQ(s["outputs"].size(), 3u);
  EXPECT_EQ(s["outputs"][0]["name"], "K\u00fcche");
  EXPECT_EQ(s["outputs"][1]["name"], "W\u00e4rmepumpe");
  EXPECT_EQ(s["outputs"][1]["value"], true) << "configured ein";
  EXPECT_EQ(s["programs"][0]["points"].size(), 14u);

  std::string events;
  std::mutex eventsMutex;
  std::atomic<bool> done{false};
  httplib::Client eventClient("127.0.0.1", port);
  std::thread stream([&] {
    eventClient.Get("/api/events", [&](const char* data, size_t n) {
      std::lock_guard lock(eventsMutex);
      events.append(data, n);
      return !done;
    });
  });
  // The state of the latest complete event.
  auto lastEvent = [&] {
    std::lock_guard lock(eventsMutex);
    const size_t end = events.rfind("\n\n");
    const size_t data = events.rfind("event: state\ndata: ", end);
    if (end == std::string::npos || data == std::string::npos) return json();
    return json::parse(events.substr(data + 19, end - data - 19), nullptr, false);
  };
  ASSERT_TRUE(Eventually([&] { return lastEvent().is_object(); }));

  const auto res = client->Post("/api/outputs/0/mode", kJson, R"({"mode":"ein"})", "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->body, R"({"reply":"ok"})");
  EXPECT_NE(slowXml().find("<outn>0</outn>\n   <valid>1</valid>\n   <value>1</value>\n   <mode>ein</mode>"),
            std::string::npos) << slowXml();
  EXPECT_TRUE(Eventually([&] {
    json e = lastEvent();
    return e.is_object() && e["outputs"][0]["mode"] == "ein" && e["outputs"][0]["valid"] == true &&
           e["messages"].back().get<std::string>().find("[w] K\u00fcche: ein") != std::string::npos;
  })) << events;
  // Rows are written in batches of a minute by default; the change is in the
  // history's answer long before its batch (mode 1: ein).
  EXPECT_TRUE(Eventually([&] {
    const auto h = client->Get("/api/history?series=out.0.mode&from=0");
    return h && h->status == 200 && json::parse(h->body)["points"].back()[1] == 1;
  }));
  done = true;
  eventClient.stop();
  stream.join();
}

TEST_F(GatewaySystemTest, RefusalsComeBackAsTheServerSaysAndAStoppedServerShowsAsDown) {
  ASSERT_TRUE(startGateway()) << gateway->output();
  struct Case {
    const char* path;
    httplib::Headers headers;
    std::string body;
    int status;
    const char* answer;
  };
  const Case cases[] = {
      {"/api/outputs/30/mode", kJson, R"({"mode":"ein"})", 409,
       R"({"reply":"Tessaro.Dout: out30 = ein fehlgeschlagen"})"},
      {"/api/outputs/0/mode", kJson, R"({"mode":"an"})", 400, nullptr},
      {"/api/outputs/32/timer", kJson, R"({"minutes":5,"on":true})", 400, nullptr},
      {"/api/outputs/0/mode", kJson, "mode=ein", 400, nullptr},
      {"/api/outputs/0/mode", {{"Content-Type", "text/plain"}}, R"({"mode":"ein"})", 415, nullptr},
      {"/api/outputs/0/mode", {{"Content-Type", "application/json"}, {"Origin", "http://evil.example"}},
       R"({"mode":"ein"})", 403, nullptr},
      {"/api/enable", {{"Content-Type", "application/json"}, {"Sec-Fetch-Site", "cross-site"}},
       R"({"enabled":false})", 403, nullptr},
      {"/api/mask", kJson, std::string(5000, ' '), 413, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " " + c.body.substr(0, 40));
    const auto res = client->Post(c.path, c.headers, c.body, "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, c.status) << res->body;
    if (c.answer != nullptr) {
      EXPECT_EQ(res->body, c.answer);
    }
  }
  // Of the requests for channel 0, every one was refused before it reached the
  // server, which would have logged "[w] K\xFCche: ein".
  EXPECT_EQ(ReadFile(run + "/logfile.txt")
                .find("K\xFC"
                      "che: "),
            std::string::npos)
      << ReadFile(run + "/logfile.txt");
  EXPECT_NE(slowXml().find("<enaoutp>1</enaoutp>"), std::string::npos) << "nothing refused ran";

  const auto page = client->Get("/");
  ASSERT_TRUE(page);
  EXPECT_NE(page->get_header_value("Content-Security-Policy").find("frame-ancestors 'none'"),
            std::string::npos);
  EXPECT_EQ(client->Get("/../Tessaro.ini")->status, 404);

  server->signal(SIGTERM);
  ASSERT_EQ(server->wait(10000), 0);
  EXPECT_TRUE(Eventually([&] { return state().value("alive", true) == false; }));
  const auto res = client->Post("/api/enable", kJson, R"({"enabled":false})", "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 503) << res->body;
}

TEST_F(GatewaySystemTest, BeyondLoopbackOnlyUsersLogInAndTheirInitialReachesTheLog) {
  Process open(TESSARO_GATEWAY_BINARY, {"--http", "0.0.0.0:0"}, run, Process::Input::DevNull);
  EXPECT_EQ(open.wait(10000), 1);
  EXPECT_NE(open.output().find("needs --users"), std::string::npos) << open.output();

  const std::string users = root.path() + "/users";
  Process add(TESSARO_GATEWAY_BINARY, {"--users", users, "--add-user", "\u00e4rger"}, run);
  add.writeInput("kennwort\r\n");  // typed on a line that ends in CR LF
  add.closeInput();
  ASSERT_EQ(add.wait(10000), 0) << add.output();

  ASSERT_TRUE(startGateway({"--users", users})) << gateway->output();
  EXPECT_EQ(client->Get("/api/state")->status, 401);
  client->set_basic_auth("\u00e4rger", "falsch");
  EXPECT_EQ(client->Get("/api/state")->status, 401);
  client->set_basic_auth("\u00e4rger", "kennwort");
  EXPECT_EQ(state()["user"], "\u00e4rger");
  const auto res = client->Post("/api/outputs/0/timer", kJson, R"({"minutes":5,"on":true})",
                                "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200) << res->body;
  EXPECT_NE(ReadFile(run + "/logfile.txt").find("[\xE4] K\xFC" "che: Timer = 5 min [ein]"),
            std::string::npos) << ReadFile(run + "/logfile.txt");
}

TEST_F(GatewaySystemTest, HistoryHoldsTheChangesAsJsonAndCsvAndSurvivesAKill) {
  const std::string db = root.path() + "/history.sqlite";
  ASSERT_TRUE(startGateway({"--history", db, "--history-batch", "1"})) << gateway->output();
  ASSERT_TRUE(Eventually([&] { return state().value("alive", false); }));
  // Each change seen before the next: one the gateway never sees (two
  // between its reads of the status files) it cannot record.
  for (const char* mode : {"ein", "aus"}) {
    const auto res = client->Post("/api/outputs/0/mode", kJson, std::string(R"({"mode":")") + mode + "\"}",
                                  "application/json");
    ASSERT_TRUE(res && res->status == 200);
    ASSERT_TRUE(Eventually([&] { return state()["outputs"][0]["mode"] == mode; }));
  }
  // Both changes, after the value the channel had when the gateway first saw it.
  json points;
  ASSERT_TRUE(Eventually([&] {
    const auto res = client->Get("/api/history?series=out.0.value&from=0");
    points = res && res->status == 200 ? json::parse(res->body)["points"] : json();
    return points.size() == 3;
  })) << points;
  EXPECT_EQ(points[0][1], 0);
  EXPECT_EQ(points[1][1], 1);
  EXPECT_EQ(points[2][1], 0);
  EXPECT_LE(points[1][0].get<int64_t>(), points[2][0].get<int64_t>());
  const auto csv = client->Get("/api/history?series=out.0.value&from=0&format=csv");
  ASSERT_TRUE(csv);
  EXPECT_EQ(csv->get_header_value("Content-Type"), "text/csv; charset=utf-8");
  EXPECT_EQ(csv->body.substr(0, 19), "time,unix_ms,value\n");
  EXPECT_EQ(std::count(csv->body.begin(), csv->body.end(), '\n'), 4) << csv->body;
  EXPECT_NE(client->Get("/api/history")->body.find("\"out.0.mode\""), std::string::npos);

  // The answers above include rows still waiting for their batch; the file
  // gets them a second later.
  const auto fileSays = [&](const char* sql) {
    Process query("/usr/bin/sqlite3", {db, sql}, run, Process::Input::DevNull);
    query.wait(10000);
    return query.output();
  };
  ASSERT_TRUE(Eventually([&] { return std::stoi("0" + fileSays("SELECT count(*) FROM change;")) >= 6; }));
  for (const std::string& file : {db, db + "-wal"}) {
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0) << file;
    EXPECT_EQ(st.st_mode & 077, 0u) << file << " is the household's own";
  }

  // Killed while it records, the file is whole and keeps what was written.
  for (int i = 0; i < 20; ++i) {
    client->Post("/api/outputs/1/mode", kJson, i % 2 ? R"({"mode":"aus"})" : R"({"mode":"ein"})",
                 "application/json");
  }
  gateway->signal(SIGKILL);
  gateway->wait(10000);
  const std::string out = fileSays("PRAGMA integrity_check; SELECT count(*) FROM change;");
  EXPECT_EQ(out.substr(0, 3), "ok\n") << out;
  EXPECT_GE(std::stoi(out.substr(3)), 6) << out;
}

}  // namespace
