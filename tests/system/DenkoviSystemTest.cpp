// The real program with a relay board configured on a machine without one.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <string>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace {

using ::testing::HasSubstr;

constexpr char kWriteFailed[] = "DENKOVI: Datenausgabe fehlgeschlagen";

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class DenkoviSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(run);
    std::filesystem::create_directories(root.path() + "/debug");
    WriteFile(run + "/Tessaro.ini",
              "[Devices]\ndev0=denkovi_relais\n"
              "[Digital_Outputs]\nout0=0,0,-1,aus,Pumpe\nout1=0,2,-1,aus,Brenner\n");
  }
  std::string log() const { return ReadFile(run + "/logfile.txt"); }
  std::string slowXml() const { return ReadFile(root.path() + "/debug/slow.xml"); }

  // The program, once it has port 1969 to itself. Other test runs on this
  // machine may hold the port for a while; then the start is tried again.
  std::unique_ptr<Process> start() {
    for (int attempt = 0; attempt < 60; ++attempt) {
      auto p = std::make_unique<Process>(TESSARO_BINARY, std::vector<std::string>{}, run);
      for (int waited = 0; waited < 5000 && p->running(); waited += 20) {
        if (FileExists(run + "/logfile.txt") &&
            log().find("Tessaro gestartet") != std::string::npos) {
          return p;
        }
        SleepMs(20);
      }
      if (p->running() || p->output().find("Fehler Funktion bind\n") == std::string::npos) {
        ADD_FAILURE() << "the program did not start:\n" << p->output();
        return nullptr;
      }
      p->wait(1000);
      SleepMs(1000);
    }
    ADD_FAILURE() << "port 1969 stayed busy";
    return nullptr;
  }

  TempDir root;
  std::string run = root.path() + "/run";
};

TEST_F(DenkoviSystemTest, WithoutABoardTheProgramReportsItAndServesOn) {
  std::unique_ptr<Process> p = start();
  ASSERT_NE(p, nullptr);

  const std::regex report(
      "\nDEVICES:\ndev0: denkovi_relais\n   COM0\n"
      "Number of devices is 0\nFT_Open failed\nFT_SetBitMode failed\n\nDIGTAL OUTPUTS:\n");
  EXPECT_TRUE(std::regex_search(p->output(), report)) << p->output();

  // The first pass's write pass tries the board and fails.
  ASSERT_TRUE(p->waitForOutput("DENKOVI: 00000000\n", 5000)) << p->output();
  SleepMs(200);
  EXPECT_EQ(Occurrences(log(), kWriteFailed), 1u) << log();

  CommandClient client(1969);
  ASSERT_TRUE(client.connected());
  EXPECT_TRUE(p->waitForOutput("TCP/IP Verbindung hergestellt\n", 3000));
  EXPECT_EQ(client.request("cmd=dout&username=op&outn=1&mode=ein\r\n"), "ok\r\n");
  EXPECT_TRUE(p->waitForOutput("DENKOVI: 00000100\n", 3000)) << p->output();
  EXPECT_EQ(Occurrences(log(), kWriteFailed), 2u) << log();

  // With output disabled nothing is tried and the channels report valid.
  EXPECT_EQ(client.request("cmd=debug&username=op&enaoutp=0\r\n"), "ok\r\n");
  EXPECT_EQ(client.request("cmd=dout&username=op&outn=0&mode=ein\r\n"), "ok\r\n");
  EXPECT_TRUE(p->waitForOutput("DENKOVI: 00000101\n", 3000)) << p->output();
  SleepMs(300);
  EXPECT_EQ(Occurrences(log(), kWriteFailed), 2u) << log();
  EXPECT_THAT(slowXml(), HasSubstr("<outn>0</outn>\n   <valid>1</valid>\n   <value>1</value>"));

  EXPECT_TRUE(p->running());
  p->signal(SIGTERM);
  EXPECT_EQ(p->wait(5000), 0);
  EXPECT_THAT(log(), HasSubstr("Tessaro beendet"));
}

}  // namespace
