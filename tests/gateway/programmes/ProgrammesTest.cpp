// Saving a programme: the files it touches, the refusals that touch none,
// and the channels it has read the file again.
#include "gateway/programmes/Programmes.h"

#include <gtest/gtest.h>

#include <future>

#include "gateway/commands/CommandQueue.h"
#include "gateway/model/Model.h"
#include "platform/MemoryFileSystem.h"
#include "tools/support/FreePort.h"

namespace {

using nlohmann::json;

// "Küche.txt" as Tessaro.ini names it: one byte for the umlaut.
const std::string kPath = "/i/run/K\xFC" "che.txt";

class ProgrammesTest : public ::testing::Test {
 protected:
  ProgrammesTest() {
    for (const int ch : {3, 5, 6}) {
      ChannelConfig c;
      c.name = "Kanal" + std::to_string(ch);
      c.controlFile = ch == 6 ? "./K\u00fcche.txt" : "K\u00fcche.txt";  // the same file
      installation.channels[static_cast<size_t>(ch)] = c;
    }
    files.replace(kPath, "; alt\n1111111 06:00 on\n");
    version = programmes.get(0).body.value("version", "");
  }

  ProgrammeAnswer put(const json& body) {
    std::promise<ProgrammeAnswer> answer;
    programmes.put(0, body, "\xE4rger", [&](ProgrammeAnswer a) { answer.set_value(std::move(a)); });
    return answer.get_future().get();
  }
  json body(const std::string& time) const {
    return {{"version", version}, {"points", {{{"days", "1111111"}, {"time", time}, {"on", true}, {"line", 2}}}}};
  }

  MemoryFileSystem files;
  Installation installation;
  Model model;
  // Nobody listens there: every command ends unreachable, at once.
  CommandQueue queue{{0x7F000001, FreePort(), std::chrono::milliseconds(1), std::chrono::milliseconds(1)}};
  Programmes programmes{files, "/i/run", [this] { return installation; }, model, queue};
  std::string version;
};

TEST_F(ProgrammesTest, SaveWritesTheFileByItsOwnNameAndKeepsTheOldBesideIt) {
  EXPECT_EQ(programmes.list()["programmes"],
            json::parse(R"([{"n":0,"file":"K\u00fcche.txt","channels":[{"n":3,"name":"Kanal3"},)"
                        R"({"n":5,"name":"Kanal5"},{"n":6,"name":"Kanal6"}]}])"));
  const ProgrammeAnswer saved = put(body("05:30"));
  ASSERT_EQ(saved.status, 200) << saved.body;
  EXPECT_EQ(files.readWhole(kPath), "; alt\n1111111 05:30 on\n");
  EXPECT_EQ(files.readWhole(kPath + ".bak"), "; alt\n1111111 06:00 on\n");
  EXPECT_EQ(saved.body["version"], programmes.get(0).body["version"]);
  EXPECT_EQ(saved.body["replies"], json::array()) << "no channel is known to be in mode uhr";

  // Saved again unchanged: the step back stays.
  version = saved.body["version"];
  ASSERT_EQ(put(body("05:30")).status, 200);
  EXPECT_EQ(files.readWhole(kPath + ".bak"), "; alt\n1111111 06:00 on\n");
  EXPECT_EQ(programmes.get(1).status, 404);
}

TEST_F(ProgrammesTest, RefusalsLeaveTheFileAsItWas) {
  const std::string before = *files.readWhole(kPath);
  const ProgrammeAnswer stale = put({{"version", "0000000000000000"}, {"points", json::array()}});
  EXPECT_EQ(stale.status, 409);
  EXPECT_EQ(stale.body["points"][0]["time"], "06:00") << "the current content comes back";
  EXPECT_EQ(put(body("24:00")).status, 400);
  EXPECT_EQ(put({{"points", json::array()}}).status, 400);
  files.failWrites(kPath);
  const ProgrammeAnswer failed = put(body("05:30"));
  EXPECT_EQ(failed.status, 500);
  EXPECT_NE(failed.body["error"].get<std::string>().find("unver\u00e4ndert"), std::string::npos);
  EXPECT_EQ(files.readWhole(kPath), before);
  EXPECT_FALSE(files.exists(kPath + ".tmp"));
}

TEST_F(ProgrammesTest, ChannelsInModeUhrAreToldOneAfterAnotherAndTheAnswerWaitsForTheLast) {
  State s;
  for (const auto& [n, mode] : {std::pair{3, "uhr"}, {5, "ein"}, {6, "uhr"}}) {
    OutputState o;
    o.n = n;
    o.mode = mode;
    s.outputs.push_back(o);
  }
  model.update(s);
  const ProgrammeAnswer saved = put(body("05:30"));
  ASSERT_EQ(saved.status, 200) << saved.body;
  ASSERT_EQ(saved.body["replies"].size(), 2u) << saved.body;
  EXPECT_EQ(saved.body["replies"][0]["n"], 3);
  EXPECT_EQ(saved.body["replies"][1]["n"], 6);
  EXPECT_EQ(saved.body["replies"][1]["ok"], false);
  EXPECT_EQ(saved.body["replies"][1]["reply"], "Tessaro nicht erreichbar (keine Verbindung)");
}

}  // namespace
