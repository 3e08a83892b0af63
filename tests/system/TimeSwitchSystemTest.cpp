#include <gtest/gtest.h>

#include <string>

#include "tests/support/ServerInstallation.h"
#include "tests/support/TestInstallation.h"

namespace {

// The text of element tag inside the digout fragment of channel outn, or
// "(none)" when the slow status file has no such channel yet.
std::string digoutElement(const std::string& slow, int outn, const std::string& tag) {
  const size_t at = slow.find("<outn>" + std::to_string(outn) + "</outn>");
  if (at == std::string::npos) return "(none)";
  const size_t end = slow.find("</digout>", at);
  const size_t open = slow.find("<" + tag + ">", at);
  if (open == std::string::npos || open > end) return "(none)";
  const size_t from = open + tag.size() + 2;
  return slow.substr(from, slow.find("</" + tag + ">", from) - from);
}

// Under libfaketime at Wednesday 10:15:30 in Berlin, so that the first pass
// runs the minute tick that evaluates the channels: channel 0 switched on ten
// minutes ago, channel 1 off.
TEST(TimeSwitchSystem, ClockChannelsShowStateAndNextPointInTheSlowStatusFile) {
  ServerInstallation inst(
      "[Devices]\n"
      "dev0=dummy_io\n"
      "[Digital_Outputs]\n"
      "out0=0,0,-1,uhr,Heizung,ein.txt\n"
      "out1=0,1,-1,uhr,Pumpe,aus.txt\n"
      "out2=0,2,-1,uhr,Fehlt,fehlt.txt\n");
  WriteFile(inst.run + "/ein.txt", "; Test\n1111111 10:05 on\n1111111 10:45 off\n");
  WriteFile(inst.run + "/aus.txt", "1111111 10:05 off\r\n1111111 10:45 on\r\n");
  auto p = inst.startAt(At(2026, 6, 10, 8, 15, 30), TESSARO_BINARY);
  ASSERT_TRUE(p) << inst.why;

  std::string slow;
  WaitUntil([&] {
    slow = inst.slowXml();
    const std::string info = digoutElement(slow, 0, "info");
    return info != "(none)" && info != " ";
  }, 10000);
  EXPECT_EQ(digoutElement(slow, 0, "info"), "Mi 10:45") << slow;
  EXPECT_EQ(digoutElement(slow, 0, "value"), "1");
  EXPECT_EQ(digoutElement(slow, 0, "mode"), "uhr");
  EXPECT_EQ(digoutElement(slow, 1, "info"), "Mi 10:45");
  EXPECT_EQ(digoutElement(slow, 1, "value"), "0");
  EXPECT_EQ(digoutElement(slow, 2, "info"), "Mo 00:00");
  EXPECT_EQ(digoutElement(slow, 2, "value"), "0");
  EXPECT_NE(p->output().find("Schaltuhr:setSchaltuhrPunkte: Kann Steuerdatei fehlt.txt nicht "
                             "oeffnen\n"),
            std::string::npos);
  EXPECT_EQ(Stop(*p), 0);
}

}  // namespace
