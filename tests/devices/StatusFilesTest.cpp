#include "devices/StatusFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "base/Text.h"
#include "core/LoadConfig.h"
#include "devices/OutputTable.h"
#include "core/RequestParser.h"
#include "tests/support/FakeDevice.h"
#include "tests/support/RecordingReply.h"
#include "tests/support/TestInstallation.h"
#include "tests/support/Xml.h"

namespace {

constexpr const char* kEmptySlow =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n<slow>\n   <slowid>0</slowid>\n   <debug>\n"
    "      <enaoutp>1</enaoutp>\n   </debug>\n   <msg></msg>\n</slow>";

TEST(StatusFiles, WithNothingConfiguredHoldHeaderAndTrailerOnly) {
  TestInstallation inst;
  WriteFastXml(inst.t());
  WriteSlowXml(inst.t());
  EXPECT_EQ(inst.fastXml(), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n<fast>\n   <slowid>0</slowid>\n</fast>\n");
  EXPECT_EQ(inst.slowXml(), kEmptySlow);
  EXPECT_EQ(inst.console.output(), "");
}

TEST(StatusFiles, DeviceFragmentsComeFirstThenChannelsInIndexOrder) {
  TestInstallation inst;
  Tessaro& t = inst.t();
  t.devices.put(5, std::make_unique<FakeDevice>(t, 5, 8));
  t.devices.put(2, std::make_unique<FakeDevice>(t, 2, 8));
  PutChannel(t, 3, t.devices.get(2), 1, MODE_SLAVE);
  PutChannel(t, 1, t.devices.get(5), 7, MODE_EIN, 3, "Pumpe");
  int32_t changed = 0;
  ASSERT_EQ(SetOutputMode(t, 1, MODE_EIN, changed), 0);
  ASSERT_EQ(StartOutputTimer(t, 3, 30, 0), 0);
  t.SlowId = 7;
  t.EnableOutput = false;
  t.eventLog.MessageList = "\n12:00:30 Tessaro gestartet\n12:01:00 [a] x";

  WriteFastXml(t);
  WriteSlowXml(t);
  EXPECT_EQ(inst.fastXml(),
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n<fast>\n   <slowid>7</slowid>\n   <f2/>\n   <f5/>\n"
            "</fast>\n");
  EXPECT_EQ(inst.slowXml(),
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n<slow>\n   <slowid>7</slowid>\n   <debug>\n"
            "      <enaoutp>0</enaoutp>\n   </debug>\n"
            "   <s2/>\n   <s5/>\n"
            "<digout>\n   <outn>1</outn>\n   <valid>1</valid>\n   <value>1</value>\n"
            "   <mode>ein</mode>\n   <timer_time>0</timer_time>\n"
            "   <timer_output>1</timer_output>\n   <info> </info></digout>\n"
            "<digout>\n   <outn>3</outn>\n   <valid>1</valid>\n   <value>0</value>\n"
            "   <mode>slave</mode>\n   <timer_time>30</timer_time>\n"
            "   <timer_output>0</timer_output>\n   <info>0030</info></digout>\n"
            "   <msg>\n12:00:30 Tessaro gestartet\n12:01:00 [a] x</msg>\n</slow>");
}

TEST(StatusFiles, ChannelIsValidOnlyAfterItsDevicesFirstWritePass) {
  TestInstallation inst;
  inst.writeIni("[Devices]\ndev0=dummy_io\n[Digital_Outputs]\nout0=0,0,-1,ein\n");
  LoadConfig(inst.t());
  WriteSlowXml(inst.t());
  EXPECT_NE(inst.slowXml().find("<valid>0</valid>\n   <value>0</value>"), std::string::npos);
  WriteAllOutputs(inst.t());
  WriteSlowXml(inst.t());
  EXPECT_NE(inst.slowXml().find("<valid>1</valid>\n   <value>0</value>"), std::string::npos);
}

TEST(StatusFiles, FailedDeviceWriteShowsValidZeroWithTheWantedValue) {
  TestInstallation inst;
  Tessaro& t = inst.t();
  auto device = std::make_unique<FakeDevice>(t, 0, 8);
  device->failWrites = true;
  t.devices.put(0, std::move(device));
  PutChannel(t, 0, t.devices.get(0), 2, MODE_AUS);
  int32_t changed = 0;
  SetOutputMode(t, 0, MODE_EIN, changed);
  WriteSlowXml(t);
  EXPECT_NE(inst.slowXml().find("<valid>0</valid>\n   <value>1</value>"), std::string::npos);
}

TEST(StatusFiles, MarkupCharactersInTextsAreEscaped) {
  TestInstallation inst;
  Tessaro& t = inst.t();
  t.devices.put(0, std::make_unique<FakeDevice>(t, 0, 8));
  PutChannel(t, 0, t.devices.get(0), 0, MODE_AUS);
  t.outputs.get(0)->info = "<a&b>";
  t.eventLog.MessageList = "\n12:00:30 [x] out<3> & \xE4";
  WriteSlowXml(t);
  const std::string slow = inst.slowXml();
  EXPECT_NE(slow.find("<info>&lt;a&amp;b&gt;</info></digout>\n"), std::string::npos);
  EXPECT_NE(slow.find("<msg>\n12:00:30 [x] out&lt;3&gt; &amp; \xE4</msg>\n</slow>"),
            std::string::npos);
}

// What a front end's parser makes of German names and of user names that a
// client may send with any byte in them.
TEST(StatusFiles, StandardParserReadsGermanNamesAndControlBytesOfUserNames) {
  TestInstallation inst;
  Tessaro& t = inst.t();
  inst.writeIni("[Devices]\ndev0=dummy_io\n[Digital_Outputs]\n"
                "out0=0,0,-1,aus,K\xFC""che\nout1=0,1,-1,aus,W\xE4rmepumpe\n");
  LoadConfig(t);
  RecordingReply replies(t);
  ParseUrlPara(t, "cmd=dout&username=\x01x&outn=0&mode=ein", replies);
  ParseUrlPara(t, "cmd=dout&username=\xE4rger&outn=1&mode=ein", replies);
  t.eventLog.RefreshMessageList();
  WriteFastXml(t);
  WriteSlowXml(t);

  const XmlDocument fast = ParseXml(inst.fastXml());
  EXPECT_EQ(fast.error, "");
  const XmlDocument slow = ParseXml(inst.slowXml());
  ASSERT_EQ(slow.error, "") << inst.slowXml();
  const XmlElement* msg = slow.root.child("msg");
  ASSERT_NE(msg, nullptr);
  EXPECT_NE(msg->text.find("[?] K\u00fcche: ein\n"), std::string::npos) << msg->text;
  EXPECT_NE(msg->text.find("[\u00e4] W\u00e4rmepumpe: ein"), std::string::npos) << msg->text;
  // The log keeps the bytes as they came.
  EXPECT_NE(inst.log().find("[\x01] K\xFC""che: ein"), std::string::npos);
}

TEST(StatusFiles, FileIsReplacedWholeSoAReaderKeepsTheOldOne) {
  TestInstallation inst(Files::Disk);
  WriteFastXml(inst.t());
  const std::string before = inst.fastXml();
  // A reader that opened the file before the rewrite still reads the old file
  // whole; a rewrite in place would hand it the new or a cut text.
  std::ifstream reader(inst.debugDir() + "/fast.xml", std::ios::binary);
  ASSERT_TRUE(reader.is_open());
  inst.t().SlowId = 12345;
  WriteFastXml(inst.t());
  const std::string seen((std::istreambuf_iterator<char>(reader)),
                         std::istreambuf_iterator<char>());
  EXPECT_EQ(seen, before);
  EXPECT_NE(inst.fastXml().find("<slowid>12345</slowid>"), std::string::npos);
}

TEST(StatusFiles, NoTemporaryFileIsLeftBehind) {
  TestInstallation inst(Files::Disk);
  WriteFastXml(inst.t());
  WriteSlowXml(inst.t());
  WriteFastXml(inst.t());
  EXPECT_EQ(FileNamesIn(inst.debugDir()), (std::set<std::string>{"fast.xml", "slow.xml"}));
}

TEST(StatusFiles, MissingDebugDirectoryIsHarmlessAndRetriedNextTime) {
  TestInstallation inst(Files::Disk);
  std::filesystem::remove_all(inst.debugDir());
  WriteFastXml(inst.t());
  WriteSlowXml(inst.t());
  EXPECT_FALSE(std::filesystem::exists(inst.debugDir()));
  EXPECT_EQ(inst.console.output(), "");
  EXPECT_EQ(inst.log(), "");

  std::filesystem::create_directories(inst.debugDir());
  WriteSlowXml(inst.t());
  EXPECT_EQ(inst.slowXml(), kEmptySlow);
}

}  // namespace
