// A week programme saved through the gateway's API, against the real server:
// the channel in mode uhr switches by the new file at once, and a refused
// save leaves the file as it was.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "gateway/programmes/ControlLines.h"
#include "gateway/programmes/ProgrammeJson.h"
#include "tests/support/ServerInstallation.h"
#include "tests/support/TestInstallation.h"

namespace {

using nlohmann::json;

// The gateway as the service runs it: a user of its own, for whom the
// permissions of the directory hold (root ignores them).
constexpr uid_t kGatewayUser = 65534;  // nobody

std::string infoOf(const std::string& slow, int outn) {
  const size_t at = slow.find("<outn>" + std::to_string(outn) + "</outn>");
  const size_t open = slow.find("<info>", at);
  if (at == std::string::npos || open == std::string::npos) return "(none)";
  return slow.substr(open + 6, slow.find("</info>", open) - open - 6);
}

TEST(DemoProgrammeWithoutServer, ReadAndWrittenBackItIsTheSameFile) {
  const std::string demo = ReadFile(TESSARO_SOURCE_DIR "/examples/demo/programme/heizung.txt");
  const ControlLines lines = ParseControlLines(demo);
  ASSERT_EQ(lines.points.size(), 6u);
  EXPECT_EQ(WriteControlLines(lines.points, lines.kept), demo);
  std::string problem;
  const auto again = PointsFromJson(PointsToJson(lines.points), &problem);
  ASSERT_TRUE(again) << problem;
  EXPECT_EQ(WriteControlLines(*again, lines.kept), demo);
}

// Wednesday 10:15 in Berlin: channel 0 is on until 22:00.
TEST(ProgrammeSystem, SaveMovesTheNextSwitchingPointAndRefusalsLeaveTheFile) {
  ServerInstallation inst("[TCP/IP]\nlisten=127.0.0.1\n[Devices]\ndev0=dummy_io\n[Digital_Outputs]\n"
                          "out0=0,0,-1,uhr,Heizung,heizung.txt\nout1=0,1,-1,ein,Pumpe,heizung.txt\n");
  const std::string file = inst.run + "/heizung.txt";
  const std::string before = "; Heizung\n1111111 06:00 on\n1111111 22:00 off\n";
  WriteFile(file, before);
  std::vector<std::string> gateway = {TESSARO_GATEWAY_BINARY, "--http", "127.0.0.1:0", "--history",
                                      "none", "--web-user", "programm"};
  if (geteuid() == 0) {
    ASSERT_EQ(chmod(inst.root.path().c_str(), 0755), 0);
    ASSERT_EQ(chown(inst.run.c_str(), kGatewayUser, kGatewayUser), 0);
    gateway.insert(gateway.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  }
  const auto server = inst.startAt(At(2026, 6, 10, 8, 15, 30), TESSARO_BINARY);
  ASSERT_TRUE(server) << inst.why;
  Process gw(gateway[0], {gateway.begin() + 1, gateway.end()}, inst.run, Process::Input::DevNull);
  ASSERT_TRUE(gw.waitForOutput("/\n", 10000)) << gw.output();
  const std::string banner = gw.output();
  const std::string at = "http://127.0.0.1:";
  httplib::Client client("127.0.0.1", std::stoi(banner.substr(banner.find(at) + at.size())));
  client.set_read_timeout(30, 0);
  ASSERT_TRUE(WaitUntil([&] { return infoOf(inst.slowXml(), 0) == "Mi 22:00"; }, 10000)) << inst.slowXml();
  ASSERT_TRUE(WaitUntil([&] {
    const auto res = client.Get("/api/state");
    return res && json::parse(res->body)["outputs"].size() == 2;
  }, 10000));

  const auto got = client.Get("/api/programmes/0");
  ASSERT_TRUE(got && got->status == 200);
  const json old = json::parse(got->body);
  json body = {{"version", old["version"]}, {"points", old["points"]}};
  body["points"].push_back({{"days", "0010000"}, {"time", "12:00"}, {"on", false}});
  auto put = [&](const json& b) {
    const auto res = client.Put("/api/programmes/0", {{"Content-Type", "application/json"}}, b.dump(),
                                "application/json");
    return res ? std::pair(res->status, json::parse(res->body, nullptr, false)) : std::pair(-1, json());
  };

  const auto [status, saved] = put(body);
  ASSERT_EQ(status, 200) << saved;
  EXPECT_EQ(saved["replies"], json::parse(R"([{"n":0,"ok":true,"reply":"ok"}])")) << "channel 1 is in mode ein";
  EXPECT_TRUE(WaitUntil([&] { return infoOf(inst.slowXml(), 0) == "Mi 12:00"; }, 10000)) << inst.slowXml();
  EXPECT_NE(inst.log().find("[p] Heizung: uhr"), std::string::npos) << inst.log();
  EXPECT_EQ(inst.log().find("Pumpe"), std::string::npos) << inst.log();
  EXPECT_EQ(ReadFile(file + ".bak"), before);
  const std::string after = ReadFile(file);
  EXPECT_EQ(after, before + "0010000 12:00 off\n");

  EXPECT_EQ(put(body).first, 409) << "the version read before the save";
  body["version"] = saved["version"];
  body["points"][0]["days"] = "1111112";
  EXPECT_EQ(put(body).first, 400);
  body["points"][0]["days"] = "1111110";
  ASSERT_EQ(chmod(inst.run.c_str(), 0555), 0);
  EXPECT_EQ(put(body).first, 500);
  ASSERT_EQ(chmod(inst.run.c_str(), 0755), 0);
  EXPECT_EQ(ReadFile(file), after);
  EXPECT_EQ(ReadFile(file + ".bak"), before);
  EXPECT_FALSE(FileExists(file + ".tmp") || FileExists(file + ".bak.tmp"));
  EXPECT_EQ(Stop(*server), 0);
}

}  // namespace
