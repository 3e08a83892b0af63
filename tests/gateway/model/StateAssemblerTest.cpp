#include "gateway/model/StateAssembler.h"

#include <gtest/gtest.h>

#include "platform/PosixFileSystem.h"
#include "tests/support/TempDir.h"

namespace {

PosixFileSystem files;

using namespace std::chrono_literals;
using Clock = StateAssembler::Clock;

constexpr const char* kIni =
    "[Devices]\ndev1=hb628\ndev2=dummy_io\ndev4=hb628\ndev5=leveljet\n"
    "[Digital_Outputs]\nout0=2,0,-1,ein,K\xFC" "che\nout3=2,3,-1,uhr,Heizung,week.txt\nout9=2,1,-1,aus\n";

const std::string kFast =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n<fast>\n   <slowid>7</slowid>\n"
    "   <AI>\n      <valid>1</valid>\n      <CH>0.001</CH>\n      <CH>12.345</CH>\n   </AI>\n"
    "   <AI>\n      <valid>0</valid>\n   </AI>\n</fast>\n";

std::string Digout(int n, const char* mode, const char* info) {
  return "<digout>\n   <outn>" + std::to_string(n) + "</outn>\n   <valid>1</valid>\n"
         "   <value>1</value>\n   <mode>" + mode + "</mode>\n   <timer_time>0</timer_time>\n"
         "   <timer_output>1</timer_output>\n   <info>" + info + "</info></digout>\n";
}

const std::string kSlow =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n<slow>\n   <slowid>7</slowid>\n"
    "   <debug>\n      <enaoutp>0</enaoutp>\n   </debug>\n"
    "   <tank>\n      <valid>1</valid>\n      <id>00ab</id>\n      <dist>100.0</dist>\n"
    "      <level>200.5</level>\n      <liter>100000</liter>\n      <percent>50</percent>\n   </tank>\n" +
    Digout(0, "ein", " ") + Digout(3, "uhr", "Mi 22:00") + Digout(9, "aus", " ") +
    Digout(12, "aus", " ") +
    "   <msg>\n12:00:30 Tessaro gestartet\n12:01:00 [\xE4] K\xFC" "che: ein</msg>\n</slow>";

class StateAssemblerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir.path() + "/Tessaro.ini", kIni);
    WriteFile(dir.path() + "/week.txt", "1111100 06:00 on\n1111100 22:00 off\n");
    assembler.setInstallation(ReadInstallation(files, dir.path()));
  }
  TempDir dir;
  StateAssembler assembler;
  Clock::time_point t0 = Clock::now();
};

TEST_F(StateAssemblerTest, FilesAndConfigurationMakeOneStateInUtf8) {
  assembler.onFast(kFast, t0);
  assembler.onSlow(kSlow);
  const State s = assembler.state(t0 + 1s);
  EXPECT_TRUE(s.alive);
  EXPECT_EQ(s.slowid, 7);
  EXPECT_FALSE(s.enaoutp);
  ASSERT_EQ(s.outputs.size(), 4u);
  EXPECT_EQ(s.outputs[0].name, "K\u00fcche");
  EXPECT_EQ(s.outputs[0].device, "dev2 dummy_io");
  EXPECT_EQ(s.outputs[1].info, "Mi 22:00");
  EXPECT_EQ(s.outputs[2].name, "dev2_ch1");  // the server's name for an unnamed channel
  EXPECT_EQ(s.outputs[3].name, "out12") << "a channel the configuration no longer has";
  EXPECT_EQ(s.messages.back(), "12:01:00 [\u00e4] K\u00fcche: ein");
  // The k-th entry of a kind is the k-th such device in slot order.
  ASSERT_EQ(s.ai.size(), 2u);
  EXPECT_EQ(s.ai[0].dev, 1);
  EXPECT_EQ(s.ai[1].dev, 4);
  EXPECT_DOUBLE_EQ(s.ai[0].ch[1], 12.345);
  EXPECT_FALSE(s.ai[1].valid);
  ASSERT_EQ(s.tank.size(), 1u);
  EXPECT_EQ(s.tank[0].dev, 5);
  EXPECT_DOUBLE_EQ(s.tank[0].level, 200.5);
  ASSERT_EQ(s.programs.size(), 1u);
  EXPECT_EQ(s.programs[0].n, 3);
  ASSERT_EQ(s.programs[0].points.size(), 10u);
  EXPECT_EQ(s.programs[0].points[1].minute, 22 * 60);
  EXPECT_EQ(s.programs[0].points[9].day, 4);
}

TEST_F(StateAssemblerTest, ServerIsDownWhenTheFastFileIsNotRewrittenForTwoSeconds) {
  assembler.onFast(kFast, t0);
  assembler.onSlow(kSlow);
  EXPECT_TRUE(assembler.state(t0 + 1999ms).alive);
  EXPECT_FALSE(assembler.state(t0 + 2s).alive);
  assembler.onFast(kFast, t0 + 3s);
  EXPECT_TRUE(assembler.state(t0 + 3s).alive);
}

TEST_F(StateAssemblerTest, MissingOrCutFilesLeaveWhatTheyHeldOut) {
  EXPECT_FALSE(assembler.state(t0).alive) << "nothing read yet";
  assembler.onFast(kFast.substr(0, kFast.size() - 9), t0);  // cut before </fast>
  assembler.onSlow(std::nullopt);
  State s = assembler.state(t0);
  EXPECT_FALSE(s.alive);
  EXPECT_TRUE(s.outputs.empty());

  assembler.onFast(kFast, t0);
  s = assembler.state(t0);
  EXPECT_TRUE(s.alive);
  EXPECT_EQ(s.ai.size(), 2u);
  EXPECT_TRUE(s.outputs.empty()) << "no slow file: no channels";
}

TEST(ReadInstallation, WithoutAConfigurationThereAreNoDevicesAndMissingDevicesHaveNoIndex) {
  TempDir empty;
  StateAssembler assembler;
  assembler.setInstallation(ReadInstallation(files, empty.path()));
  assembler.onFast(kFast, Clock::now());
  const State s = assembler.state(Clock::now());
  ASSERT_EQ(s.ai.size(), 2u);
  EXPECT_EQ(s.ai[0].dev, -1);
}

TEST(ReadProgram, PointsAreFoldedIntoOneWeekAndOnlyChangesKept) {
  const std::vector<ProgramPoint> points =
      ReadProgram("0000001 23:00 on\n0000001 25:00 off\n1000000 05:00 off\n0100000 08:00 on\n");
  // Sunday 25:00 is Monday 01:00; Monday 05:00 repeats its "off", and
  // Sunday 23:00 the "on" that holds since Tuesday.
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[0].day, 0);
  EXPECT_EQ(points[0].minute, 60);
  EXPECT_FALSE(points[0].on);
  EXPECT_EQ(points[1].day, 1);
  EXPECT_EQ(points[1].minute, 8 * 60);
  EXPECT_TRUE(points[1].on);
}

}  // namespace
