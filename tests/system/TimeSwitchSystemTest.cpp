#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace {

constexpr int32_t kWeek = 604800;

// Week time (seconds since Monday 00:00) of a local time, whole minutes.
int32_t weekTimeOf(const std::tm& local) {
  const int dayPosition = (local.tm_wday + 6) % 7;
  return dayPosition * 86400 + local.tm_hour * 3600 + local.tm_min * 60;
}

std::string hhmm(int32_t weekTime) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d", weekTime % 86400 / 3600, weekTime % 3600 / 60);
  return text;
}

std::string dayAndTime(int32_t weekTime) {
  static const char* const days[] = {"Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"};
  return std::string(days[weekTime / 86400]) + " " + hhmm(weekTime);
}

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

TEST(TimeSwitchSystem, ClockChannelsShowStateAndNextPointInTheSlowStatusFile) {
  TempDir root;
  const std::string run = root.path() + "/run";
  const std::string debug = root.path() + "/debug";
  std::filesystem::create_directories(run);
  std::filesystem::create_directories(debug);

  // Points well around now, so the minute the program evaluates in does not
  // matter: channel 0 switched on ten minutes ago, channel 1 off.
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const int32_t current = weekTimeOf(local);
  const int32_t before = (current - 600 + kWeek) % kWeek;
  const int32_t after = (current + 1800) % kWeek;
  WriteFile(run + "/ein.txt", "; Test\n1111111 " + hhmm(before) + " on\n1111111 " +
                                  hhmm(after) + " off\n");
  WriteFile(run + "/aus.txt", "1111111 " + hhmm(before) + " off\r\n1111111 " + hhmm(after) +
                                  " on\r\n");
  WriteFile(run + "/Tessaro.ini",
            "[Devices]\n"
            "dev0=dummy_io\n"
            "[Digital_Outputs]\n"
            "out0=0,0,-1,uhr,Heizung,ein.txt\n"
            "out1=0,1,-1,uhr,Pumpe,aus.txt\n"
            "out2=0,2,-1,uhr,Fehlt,fehlt.txt\n");

  Process p(TESSARO_BINARY, {}, run);
  // The first minute tick is in the first pass, or at minute 1 when the
  // program starts in minute 0 of an hour.
  std::string slow;
  for (int waited = 0; waited < 75000; waited += 200) {
    slow = FileExists(debug + "/slow.xml") ? ReadFile(debug + "/slow.xml") : "";
    if (digoutElement(slow, 0, "info") != "(none)" && digoutElement(slow, 0, "info") != " ") {
      break;
    }
    SleepMs(200);
  }
  EXPECT_EQ(digoutElement(slow, 0, "info"), dayAndTime(after)) << slow;
  EXPECT_EQ(digoutElement(slow, 0, "value"), "1");
  EXPECT_EQ(digoutElement(slow, 0, "mode"), "uhr");
  EXPECT_EQ(digoutElement(slow, 1, "info"), dayAndTime(after));
  EXPECT_EQ(digoutElement(slow, 1, "value"), "0");
  EXPECT_EQ(digoutElement(slow, 2, "info"), "Mo 00:00");
  EXPECT_EQ(digoutElement(slow, 2, "value"), "0");
  EXPECT_NE(p.output().find("Schaltuhr:setSchaltuhrPunkte: Kann Steuerdatei fehlt.txt nicht "
                            "oeffnen\n"),
            std::string::npos);

  p.signal(SIGTERM);
  EXPECT_EQ(p.wait(5000), 0);
}

}  // namespace
