// tessaro_gateway beside the real server, played from outside as an
// attacker on the network would: every refused request must leave the
// server's log without a line, and the gateway's memory bounded.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include <sys/stat.h>

#include "gateway/history/History.h"
#include "gateway/web/Login.h"
#include "gateway/web/Users.h"
#include "tests/support/ServerInstallation.h"
#include "tools/support/ProcStatus.h"

namespace {

constexpr const char* kIni =
    "[TCP/IP]\nlisten=127.0.0.1\n[Devices]\ndev0=dummy_io\n[Digital_Outputs]\nout0=0,0,-1,aus,Kessel\n";
constexpr long kMostRssKiB = 64 * 1024;
// A command the server logs ("[w] Kessel: ein"), so the log tells whether it ran.
constexpr const char* kSwitch = "/api/outputs/0/mode";
const std::string kOn = R"({"mode":"ein"})";

// 127.0.0.n: another client of this machine, as the gateway counts them.
constexpr uint32_t Loopback(uint32_t n) { return 0x7F000000 | n; }

class HostileClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server = inst.start(TESSARO_BINARY);
    ASSERT_NE(server, nullptr) << inst.why;
  }

  void startGateway(std::vector<std::string> args = {}) {
    args.insert(args.end(), {"--history", inst.root.path() + "/history.sqlite"});
    port = StartGateway(TESSARO_GATEWAY_BINARY, args, inst.run, &gateway);
    ASSERT_NE(port, 0) << gateway->output();
  }

  // What comes back for bytes sent on a connection of their own, up to the
  // gateway's close.
  std::string exchange(const std::string& bytes, uint32_t from = 0) {
    CommandClient c(port, 5000, 0, from);
    c.send(bytes);
    WaitUntil([&] { return c.received(), c.peerGone(); }, 20000);
    EXPECT_TRUE(c.peerGone()) << "the gateway kept the connection open";
    return c.received();
  }

  std::string head(const std::string& method, const std::string& path, const std::string& more = "") const {
    return method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n" + more;
  }

  size_t logLines() const {
    const std::string log = inst.log();
    return static_cast<size_t>(std::count(log.begin(), log.end(), '\n'));
  }
  long rss() const { return VmRssKiB(gateway->pid()); }

  ServerInstallation inst{kIni};
  std::unique_ptr<Process> server;
  std::unique_ptr<Process> gateway;
  int port = 0;
};

size_t Answers(const std::string& received) {
  size_t n = 0;
  for (size_t at = 0; (at = received.find("HTTP/1.1 ", at)) != std::string::npos; ++at) ++n;
  return n;
}

TEST_F(HostileClientTest, ARefusedRequestsBodyIsNeverReadAsARequest) {
  ASSERT_NO_FATAL_FAILURE(startGateway());
  const std::string inner = head("POST", kSwitch,
                                 "Content-Type: application/json\r\nContent-Length: 14\r\n\r\n" + kOn);
  const std::string length = "Content-Length: " + std::to_string(inner.size()) + "\r\n\r\n";
  const size_t before = logLines();
  struct Case {
    const char* status;
    std::string outer;
  };
  const Case cases[] = {
      {"403", head("POST", kSwitch,
                   "Origin: http://evil.example\r\nSec-Fetch-Site: cross-site\r\nContent-Type: text/plain\r\n") +
                  length},
      {"415", head("POST", kSwitch, "Content-Type: text/plain\r\n") + length},
      {"421", "POST /api/outputs/0/mode HTTP/1.1\r\nHost: evil.example\r\nContent-Type: application/json\r\n" + length},
      {"411", head("POST", kSwitch, "Content-Type: application/json\r\n\r\n")},
      {"404", head("POST", "/api/none", "Content-Type: application/json\r\n") + length},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    const std::string got = exchange(c.outer + inner);
    EXPECT_EQ(got.substr(0, 12), std::string("HTTP/1.1 ") + c.status) << got;
    EXPECT_EQ(Answers(got), 1u) << got;
  }
  EXPECT_EQ(logLines(), before) << inst.log();
  // The same request, sent alone, runs: the cases above would have shown it.
  const std::string alone = head("POST", kSwitch, "Connection: close\r\n") + inner.substr(inner.find("Content-Type"));
  EXPECT_EQ(exchange(alone).substr(0, 12), "HTTP/1.1 200");
  EXPECT_TRUE(inst.waitForLog("[w] Kessel: ein"));
}

TEST_F(HostileClientTest, BodiesAreReadWithinTheLimitHoweverFramedAndNeverCompressed) {
  ASSERT_NO_FATAL_FAILURE(startGateway());
  const std::string json = "Content-Type: application/json\r\n";
  const auto chunked = [](const std::string& body) {
    char size[16];
    std::snprintf(size, sizeof size, "%zx", body.size());
    return "Transfer-Encoding: chunked\r\n\r\n" + std::string(size) + "\r\n" + body + "\r\n0\r\n\r\n";
  };
  const std::string big(10 << 20, ' ');
  const size_t before = logLines();
  struct Case {
    const char* status;  // "": the connection ends without an answer
    std::string request;
  };
  const Case cases[] = {
      {"", head("POST", kSwitch, json) + chunked("{\"mode\":\"ein\"" + big + "}")},
      {"413", head("POST", kSwitch, json + "Content-Length: 4097\r\n\r\n") + std::string(4097, ' ')},
      {"415", head("POST", kSwitch, json + "Content-Encoding: gzip\r\nContent-Length: 4\r\n\r\nxxxx")},
      {"400", head("POST", kSwitch, json + "Content-Length: 2\r\n") + chunked("{}")},
      {"411", head("POST", kSwitch, json + "Connection: close\r\n\r\n" + kOn)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    const std::string got = exchange(c.request);
    EXPECT_EQ(got.substr(0, 12), *c.status ? std::string("HTTP/1.1 ") + c.status : "") << got.substr(0, 200);
  }
  EXPECT_EQ(logLines(), before) << inst.log();
  EXPECT_LT(rss(), kMostRssKiB);
  const std::string small = exchange(head("POST", kSwitch, json + "Connection: close\r\n") + chunked(kOn));
  EXPECT_EQ(small.substr(0, 12), "HTTP/1.1 200") << small;
}

TEST_F(HostileClientTest, OnlyTheGatewaysOwnNamesAreServed) {
  ASSERT_NO_FATAL_FAILURE(startGateway({"--public-name", "Tessaro.Example"}));
  const size_t before = logLines();
  const std::string p = ":" + std::to_string(port);
  for (const std::string& host : {"evil.example" + p, std::string("evil.example"), std::string("127.0.0.1:1"), "127.0.0.2" + p}) {
    SCOPED_TRACE(host);
    EXPECT_EQ(exchange("GET /api/state HTTP/1.1\r\nHost: " + host + "\r\n\r\n").substr(0, 12), "HTTP/1.1 421");
    EXPECT_EQ(exchange("POST /api/outputs/0/mode HTTP/1.1\r\nHost: " + host + "\r\nOrigin: http://" + host +
                       "\r\nContent-Type: application/json\r\nContent-Length: 14\r\n\r\n" + kOn)
                  .substr(0, 12),
              "HTTP/1.1 421");
  }
  EXPECT_EQ(logLines(), before) << inst.log();
  for (const std::string& host : {"localhost" + p, "tessaro.example" + p, "127.0.0.1" + p}) {
    SCOPED_TRACE(host);
    EXPECT_EQ(exchange("GET /api/state HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n").substr(0, 12),
              "HTTP/1.1 200");
  }
}

TEST_F(HostileClientTest, HugeRequestLinesAndHeadersAreCutOffWithinBoundedMemory) {
  ASSERT_NO_FATAL_FAILURE(startGateway());
  const long idle = rss();
  std::vector<std::unique_ptr<CommandClient>> clients;
  for (int i = 0; i < 32; ++i) {
    clients.push_back(std::make_unique<CommandClient>(port, 5000, 0, Loopback(2 + i % 8)));
    clients.back()->send(i % 2 ? head("GET", "/") : "GET /");
  }
  const std::string line(1 << 20, 'a');
  const std::string headers = [] {
    std::string h;
    while (h.size() < (1 << 20)) h += "X-Many: " + std::string(8000, 'b') + "\r\n";
    return h;
  }();
  long most = 0;
  // 256 MiB offered on each until the gateway has closed them all.
  for (int round = 0; round < 256; ++round) {
    for (size_t i = 0; i < clients.size(); ++i) clients[i]->trySend(i % 2 ? headers : line);
    most = std::max(most, rss());
    if (std::all_of(clients.begin(), clients.end(), [](auto& c) { return c->received(), c->peerGone(); })) break;
  }
  for (auto& c : clients) {
    WaitUntil([&] { return c->received(), c->peerGone(); }, 10000);
    EXPECT_TRUE(c->peerGone());
    const std::string got = c->received().substr(0, 12);
    EXPECT_TRUE(got == "HTTP/1.1 414" || got == "HTTP/1.1 431" || got.empty()) << got;
  }
  EXPECT_LT(most, kMostRssKiB) << "idle " << idle << " KiB";
  EXPECT_EQ(exchange(head("GET", "/api/state", "Connection: close\r\n\r\n")).substr(0, 12), "HTTP/1.1 200");
}

TEST_F(HostileClientTest, SlowClientsAndManyStreamsLeaveAFreshClientServedAndSlowOnesAreCutOff) {
  ASSERT_NO_FATAL_FAILURE(startGateway());
  std::vector<std::unique_ptr<CommandClient>> slow, streams;
  for (int i = 0; i < 64; ++i) {
    slow.push_back(std::make_unique<CommandClient>(port, 5000, 0, Loopback(100 + i % 4)));
    slow.back()->send("GET /api/st");
  }
  // Four streams from each of 50 clients: each client's most.
  for (uint32_t n = 2; n < 52; ++n) {
    for (int k = 0; k < 4; ++k) {
      streams.push_back(std::make_unique<CommandClient>(port, 5000, 0, Loopback(n)));
      streams.back()->send(head("GET", "/api/events", "\r\n"));
    }
  }
  for (auto& s : streams) {
    ASSERT_TRUE(WaitUntil([&] { return s->received().find("event: state") != std::string::npos; }, 30000))
        << s->received();
  }
  EXPECT_EQ(exchange(head("GET", "/api/events", "\r\n"), Loopback(2)).substr(0, 12), "HTTP/1.1 503");

  httplib::Client fresh("127.0.0.1", port);
  fresh.set_read_timeout(5);
  const auto state = fresh.Get("/api/state");
  ASSERT_TRUE(state);
  EXPECT_EQ(state->status, 200);
  CommandClient another(port, 5000, 0, Loopback(60));
  another.send(head("GET", "/api/events", "\r\n"));
  EXPECT_TRUE(WaitUntil([&] { return another.received().find("event: state") != std::string::npos; }, 10000));

  // Quiet for the idle time-out (10 s), a half request ends with its
  // connection; the streams hold theirs.
  for (auto& s : slow) {
    EXPECT_TRUE(WaitUntil([&] { return s->received(), s->peerGone(); }, 30000));
  }
  EXPECT_FALSE((streams.front()->received(), streams.front()->peerGone()));
}

TEST_F(HostileClientTest, PasswordGuessersArePausedWhileALoggedInUserGoesOn) {
  const std::string users = inst.root.path() + "/users";
  WriteFile(users, "anna:" + Users::Hash("geheim") + "\n");
  chmod(users.c_str(), 0600);
  ASSERT_NO_FATAL_FAILURE(startGateway({"--users", users}));
  httplib::Client anna("127.0.0.1", port);
  anna.set_basic_auth("anna", "geheim");
  ASSERT_EQ(anna.Get("/api/state")->status, 200);

  std::atomic<int> unauthorized{0}, paused{0}, retryAfter{0};
  std::vector<std::thread> guessers;
  for (int g = 0; g < 32; ++g) {
    guessers.emplace_back([&, g] {
      for (int i = 0; i < 8; ++i) {
        httplib::Client guess("127.0.0.1", port);
        guess.set_basic_auth(g % 2 ? "anna" : "bert", "guess" + std::to_string(i));
        const auto res = guess.Get("/api/state");
        if (res && res->status == 401) ++unauthorized;
        if (res && res->status == 429) ++paused;
        if (res && res->has_header("Retry-After")) ++retryAfter;
      }
    });
  }
  int served = 0;
  for (int i = 0; i < 20; ++i) {
    const auto res = anna.Post("/api/outputs/0/mode", i % 2 ? R"({"mode":"aus"})" : R"({"mode":"ein"})",
                               "application/json");
    served += res && res->status == 200;
  }
  for (auto& t : guessers) t.join();
  EXPECT_EQ(served, 20);
  EXPECT_TRUE(inst.waitForLog("[a] Kessel: aus", 10));
  // A few free guesses, then one each time a pause of 1, 2, 4 ... s ends.
  EXPECT_LE(unauthorized, Login::kFreeFailures + 6);
  EXPECT_EQ(paused + unauthorized, 32 * 8);
  EXPECT_EQ(retryAfter, paused);
}

TEST_F(HostileClientTest, AMillionChangesAreAnsweredWithinBoundsOrRefused) {
  const std::string db = inst.root.path() + "/history.sqlite";
  {
    std::string error;
    std::unique_ptr<History> h = History::Open(db, &error);
    ASSERT_NE(h, nullptr) << error;
    ASSERT_TRUE(h->write({}, {{"out.7.value", 0, 0}}));
  }
  Process fill("/usr/bin/sqlite3",
               {db, "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 1000000) "
                    "INSERT INTO change SELECT 1, x * 1000, x % 2 * 1000 FROM n;"},
               inst.run, Process::Input::DevNull);
  ASSERT_EQ(fill.wait(120000), 0) << fill.output();
  ASSERT_NO_FATAL_FAILURE(startGateway());
  httplib::Client client("127.0.0.1", port);
  struct Case {
    std::string query;
    int status;
    size_t points;
  };
  const Case cases[] = {
      {"from=0&to=1000000000", 400, 0},
      {"from=-9223372036854775808&to=9223372036854775807", 400, 0},
      {"from=0&to=253402300800000", 400, 0},
      {"from=5&to=4", 400, 0},
      {"from=1000000&to=2999000", 200, 1 + 2000},  // the state at the start and 2000 changes
      {"from=1000000&to=3000000", 400, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    const auto res = client.Get("/api/history?series=out.7.value&" + c.query);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, c.status) << res->body.substr(0, 200);
    if (c.status == 200) {
      EXPECT_EQ(nlohmann::json::parse(res->body)["points"].size(), c.points);
    }
  }
  EXPECT_LT(rss(), kMostRssKiB);
}

TEST_F(HostileClientTest, TlsIsVersion12Or13WithForwardSecrecyAndAsksForHsts) {
  const std::string cert = inst.root.path() + "/cert.pem", key = inst.root.path() + "/key.pem";
  Process make("/usr/bin/openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                                    "/CN=localhost", "-keyout", key, "-out", cert},
               inst.run, Process::Input::DevNull);
  ASSERT_EQ(make.wait(60000), 0) << make.output();
  ASSERT_NO_FATAL_FAILURE(startGateway({"--tls-cert", cert, "--tls-key", key}));
  const struct {
    std::vector<std::string> offer;
    const char* cipher;  // "(NONE)": refused
  } cases[] = {
      {{"-tls1_3"}, "TLS_"},
      {{"-tls1_2", "-cipher", "ECDHE-RSA-AES128-GCM-SHA256"}, "ECDHE-RSA-AES128-GCM-SHA256"},
      {{"-tls1_2", "-cipher", "AES128-SHA"}, "(NONE)"},
      {{"-tls1_2", "-cipher", "AES256-SHA256"}, "(NONE)"},
      {{"-tls1_2", "-cipher", "ECDHE-RSA-AES128-SHA256"}, "(NONE)"},
      {{"-tls1_1", "-cipher", "ALL:@SECLEVEL=0"}, "(NONE)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.offer.back());
    std::vector<std::string> args = {"s_client", "-connect", "127.0.0.1:" + std::to_string(port)};
    args.insert(args.end(), c.offer.begin(), c.offer.end());
    Process hello("/usr/bin/openssl", args, inst.run, Process::Input::DevNull);
    hello.wait(20000);
    EXPECT_NE(hello.output().find(std::string("Cipher is ") + c.cipher), std::string::npos) << hello.output();
  }
  httplib::SSLClient client("127.0.0.1", port);
  client.enable_server_certificate_verification(false);
  const auto res = client.Get("/api/state");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->get_header_value("Strict-Transport-Security"), "max-age=31536000");
}

}  // namespace
