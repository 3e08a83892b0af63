// The real program with a relay board configured on a machine without one.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tests/support/ServerInstallation.h"
#include "tests/support/TestInstallation.h"
#include "tools/support/Bytes.h"

namespace {

using ::testing::HasSubstr;

constexpr char kWriteFailed[] = "DENKOVI: Datenausgabe fehlgeschlagen";

// At a time of its own: the first pass runs a minute tick, which writes the
// outputs, only when the minute differs from 0.
TEST(DenkoviSystemTest, WithoutABoardTheProgramReportsItAndServesOn) {
  ServerInstallation inst("[Devices]\ndev0=denkovi_relais\n"
                          "[Digital_Outputs]\nout0=0,0,-1,aus,Pumpe\nout1=0,2,-1,aus,Brenner\n");
  std::unique_ptr<Process> p = inst.startAt(At(2026, 6, 10, 8, 15, 30), TESSARO_BINARY);
  ASSERT_NE(p, nullptr) << inst.why;

  const std::regex report(
      "\nDEVICES:\ndev0: denkovi_relais\n   COM0\n"
      "Number of devices is 0\nFT_Open failed\nFT_SetBitMode failed\n\nDIGTAL OUTPUTS:\n");
  EXPECT_TRUE(std::regex_search(p->output(), report)) << p->output();

  // The first pass's write pass tries the board and fails.
  ASSERT_TRUE(p->waitForOutput("DENKOVI: 00000000\n", 10000)) << p->output();
  EXPECT_TRUE(inst.waitForLog(kWriteFailed)) << inst.log();

  CommandClient client(1969);
  ASSERT_TRUE(client.connected());
  EXPECT_TRUE(p->waitForOutput("TCP/IP Verbindung hergestellt\n", 10000));
  EXPECT_EQ(client.request("cmd=dout&username=op&outn=1&mode=ein\r\n"), "ok\r\n");
  EXPECT_TRUE(p->waitForOutput("DENKOVI: 00000100\n", 10000)) << p->output();
  EXPECT_TRUE(inst.waitForLog(kWriteFailed, 2)) << inst.log();

  // With output disabled nothing is tried and the channels report valid:
  // the slow status file is written after the pass's writes.
  EXPECT_EQ(client.request("cmd=debug&username=op&enaoutp=0\r\n"), "ok\r\n");
  EXPECT_EQ(client.request("cmd=dout&username=op&outn=0&mode=ein\r\n"), "ok\r\n");
  EXPECT_TRUE(p->waitForOutput("DENKOVI: 00000101\n", 10000)) << p->output();
  const std::string shown = "<outn>0</outn>\n   <valid>1</valid>\n   <value>1</value>";
  EXPECT_TRUE(WaitUntil([&] { return inst.slowXml().find(shown) != std::string::npos; }))
      << inst.slowXml();
  EXPECT_EQ(CountOf(inst.log(), kWriteFailed), 2u) << inst.log();

  EXPECT_TRUE(p->running());
  EXPECT_EQ(Stop(*p), 0);
  EXPECT_THAT(inst.log(), HasSubstr("Tessaro beendet"));
}

}  // namespace
