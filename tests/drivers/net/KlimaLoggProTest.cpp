#include "drivers/net/KlimaLoggPro.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <utility>

#include "core/LoadConfig.h"
#include "tests/support/TestInstallation.h"

namespace {

constexpr char kFailed[] = "\n>>>>>>>>>>>> GetPrivateProfileString FAILED <<<<<<<<<<<<<<<<<<<\n";

// A data file with every entry: channel i reads 2i.5 degrees and 4i percent.
std::string complete(const std::string& time) {
  std::string s = "[time]\nlast_actualisation=" + time + "\n";
  for (int i = 0; i < 9; ++i) {
    const std::string n = std::to_string(i);
    s += "[temperature_channel_" + n + "]\ndeg_C=2" + n + ".5\n";
    s += "[humidity_channel_" + n + "]\npercent=4" + n + "\n";
  }
  return s;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// Device 4 reads klima.dat in the working directory.
class KlimaLogg : public ::testing::Test {
 protected:
  void SetUp() override {
    inst.writeIni("[Files]\ndev4=klima.dat\n");
    device = std::make_unique<KlimaLoggPro>(inst.t(), 4);
    inst.console.take();
  }
  void data(const std::string& text) { inst.writeFile("klima.dat", text); }
  std::string fragment() {
    std::string s;
    device->do_WriteSlowXml(s);
    return s;
  }
  std::string last() {
    const std::string s = fragment();
    const size_t from = s.find("<last>") + 6;
    return s.substr(from, s.find("</last>") - from);
  }

  TestInstallation inst;
  std::unique_ptr<KlimaLoggPro> device;
};

TEST_F(KlimaLogg, UnchangedUpdateTimeTurnsInvalidAtTheThirdRead) {
  // In turn: the update time of a read, whether it is new data, and validity.
  const std::tuple<const char*, int32_t, bool> reads[] = {
      {"1765000000", 1, true},  // the start value lies an hour ahead
      {"1765000000", 0, true},  {"1765000000", 1, false}, {"1765000000", 0, false},
      {"1765000000", 0, false}, {"1765000060", 1, true}};
  int read = 0;
  for (const auto& [time, isNew, valid] : reads) {
    SCOPED_TRACE(testing::Message() << "read " << ++read);
    data(complete(time));
    EXPECT_EQ(device->do_EveryMinute(), isNew);
    EXPECT_EQ(device->dataValid, valid);
  }
  EXPECT_EQ(inst.console.output(), "");
}

TEST_F(KlimaLogg, FragmentShowsTemperaturesThenHumiditiesInChannelOrder) {
  data(complete("1765000000"));
  device->do_EveryMinute();
  std::string expected =
      "   <klp>\n      <valid>1</valid>\n      <last>06.12.2025 05:46:40</last>\n";
  for (int i = 0; i < 9; ++i) expected += "      <tmp>2" + std::to_string(i) + ".5</tmp>\n";
  for (int i = 0; i < 9; ++i) expected += "      <hum>4" + std::to_string(i) + "</hum>\n";
  expected += "   </klp>\n";
  EXPECT_EQ(fragment(), expected);
}

TEST_F(KlimaLogg, LoggerTimesAboveThreeBillionCountFromTheLoggerEpoch) {
  const std::tuple<const char*, int64_t, const char*> rows[] = {
      {"3000000000", 3000000000, "24.01.2065 05:20:00"},
      {"3000000001", 791011267, "25.01.1995 05:21:07"}};
  for (const auto& [time, seconds, shown] : rows) {
    data(complete(time));
    device->do_EveryMinute();
    EXPECT_EQ(device->lastUpdate, seconds);
    EXPECT_EQ(last(), shown);
  }
}

TEST_F(KlimaLogg, MissingOrEmptyChannelValueIsErrAndInvalidWhileTimeKeepsChanging) {
  const std::string gaps =
      replaced(replaced(complete("1765000000"), "percent=45\n", ""), "deg_C=22.5", "deg_C=");
  data(gaps);
  EXPECT_EQ(device->do_EveryMinute(), 1);
  EXPECT_FALSE(device->dataValid);
  EXPECT_EQ(device->humidity[5], "ERR");
  EXPECT_EQ(device->temperature[2], "ERR");
  EXPECT_EQ(device->humidity[4], "44");

  data(replaced(gaps, "1765000000", "1765000060"));
  EXPECT_EQ(device->do_EveryMinute(), 1);
  EXPECT_FALSE(device->dataValid);
  EXPECT_EQ(inst.console.output(), "");
}

TEST_F(KlimaLogg, ValuesAreComparedAsTexts) {
  data(complete("1765000000"));
  device->do_EveryMinute();
  data(replaced(complete("1765000000"), "deg_C=20.5", "deg_C=20.50"));
  EXPECT_EQ(device->do_EveryMinute(), 1);
  EXPECT_TRUE(device->dataValid);
  EXPECT_EQ(device->temperature[0], "20.50");
}

TEST_F(KlimaLogg, LongValueIsCutToSevenCharactersAndMarkupIsEscaped) {
  data(replaced(replaced(replaced(complete("1765000000"), "deg_C=20.5", "deg_C=123.456789"),
                         "deg_C=21.5", "deg_C=<&>"),
                "percent=48", "percent=<<<<<<<<"));
  device->do_EveryMinute();
  EXPECT_EQ(device->temperature[0], "123.456");
  const std::string s = fragment();
  EXPECT_NE(s.find("      <tmp>123.456</tmp>\n      <tmp>&lt;&amp;&gt;</tmp>\n"),
            std::string::npos);
  EXPECT_NE(s.find("      <hum>&lt;&lt;&lt;&lt;&lt;&lt;&lt;</hum>\n   </klp>\n"),
            std::string::npos);
}

TEST_F(KlimaLogg, MissingFileGivesErrEverywhereAnd1970WithAConsoleLineEveryMinute) {
  EXPECT_EQ(device->do_EveryMinute(), 1);
  EXPECT_EQ(inst.console.take(), kFailed);
  std::string expected =
      "   <klp>\n      <valid>0</valid>\n      <last>01.01.1970 00:00:00</last>\n";
  for (int i = 0; i < 9; ++i) expected += "      <tmp>ERR</tmp>\n";
  for (int i = 0; i < 9; ++i) expected += "      <hum>ERR</hum>\n";
  expected += "   </klp>\n";
  EXPECT_EQ(fragment(), expected);

  for (int read = 2; read <= 3; ++read) {
    EXPECT_EQ(device->do_EveryMinute(), 0) << read;
    EXPECT_EQ(inst.console.take(), kFailed) << read;
    EXPECT_EQ(fragment(), expected) << read;
  }
}

TEST_F(KlimaLogg, EmptyUpdateTimeCountsAsMissing) {
  data(complete(""));
  device->do_EveryMinute();
  EXPECT_EQ(inst.console.output(), kFailed);
  EXPECT_FALSE(device->dataValid);
  EXPECT_EQ(device->lastUpdate, 0);
  EXPECT_EQ(device->temperature[8], "28.5");
}

TEST_F(KlimaLogg, UpdateTimeWithoutALocalTimeLeavesLastEmpty) {
  const std::pair<const char*, const char*> rows[] = {
      {"-5", ""}, {"99999999999999999999", ""}, {"0", "01.01.1970 00:00:00"}};
  for (const auto& [time, shown] : rows) {
    data(complete(time));
    device->do_EveryMinute();
    EXPECT_EQ(last(), shown) << time;
  }
}

TEST(KlimaLoggConfig, DataFileComesFromSectionFilesElseTheDefault) {
  TestInstallation inst;
  inst.writeIni(
      "[Devices]\ndev4=klimaloggpro\ndev5=klimaloggpro\ndev6=klimaloggpro\n"
      "[Files]\ndev4=data/klima.dat\ndev5=\ndev6=" +
      std::string(40, 'k') + "\n");
  LoadDevices(inst.t());
  EXPECT_EQ(inst.console.take(),
            "\nDEVICES:\ndev4: klimaloggpro\n   data/klima.dat\ndev5: klimaloggpro\n"
            "   ./KlimaLogg.dat1\ndev6: klimaloggpro\n   " +
                std::string(31, 'k') + "\n");

  auto* device = dynamic_cast<KlimaLoggPro*>(inst.t().devices.get(5));
  ASSERT_NE(device, nullptr);
  EXPECT_STREQ(device->getName(), "KlimaLoggPro");
  EXPECT_EQ(device->getNumOutputs(), 0);
  inst.writeFile("KlimaLogg.dat1", complete("1765000000"));
  EXPECT_EQ(device->do_EveryMinute(), 1);
  EXPECT_TRUE(device->dataValid);
}

}  // namespace
