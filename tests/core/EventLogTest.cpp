#include "core/EventLog.h"

#include <gtest/gtest.h>


#include "tests/support/TestInstallation.h"

namespace {

class EventLogTest : public ::testing::Test {
 protected:
  TestInstallation inst{At(2026, 12, 7, 9, 5, 3)};
  EventLog& log = inst.t().eventLog;
};

TEST_F(EventLogTest, FreshLogBeginsWithAnEmptyLineAndHasNoLineEndAfterTheLastEntry) {
  log.LogEvent(0, "Tessaro gestartet");
  EXPECT_EQ(inst.log(), "\n09:05:03 Tessaro gestartet");
  EXPECT_TRUE(log.LogChanged);
}

TEST_F(EventLogTest, EntryWrittenDuringACommandShowsTheUsersInitial) {
  log.setUser("alice");
  log.LogEvent(0, "%s: %s", "Pumpe", "ein");
  log.setUser(nullptr);
  log.LogEvent(0, "%s: %s", "Pumpe", "aus");
  EXPECT_EQ(inst.log(), "\n09:05:03 [a] Pumpe: ein\n09:05:03 Pumpe: aus");
}

TEST_F(EventLogTest, DayHeaderCarriesTheDateOnlyAndIgnoresItsText) {
  log.setUser("bob");
  log.LogEvent(EventLog::kDayHeader, "%s", "ignored");
  EXPECT_EQ(inst.log(), "\n----- 07.12.2026 -----");
}

TEST_F(EventLogTest, EventsAndFaultsLookAlike) {
  log.LogEvent(0, "x");
  log.LogEvent(-1, "x");
  EXPECT_EQ(inst.log(), "\n09:05:03 x\n09:05:03 x");
}

TEST_F(EventLogTest, EntriesCarryThePassTimeNotAFreshReading) {
  inst.clock.advance(3600);  // the clock moved, but the pass has not read it
  log.LogEvent(0, "x");
  EXPECT_EQ(inst.log(), "\n09:05:03 x");
}

TEST_F(EventLogTest, MessageIsCutTo255Characters) {
  log.LogEvent(0, "%s", std::string(300, 'm').c_str());
  EXPECT_EQ(inst.log(), "\n09:05:03 " + std::string(255, 'm'));
}

TEST_F(EventLogTest, EntryThatCannotBeWrittenIsLostQuietly) {
  inst.memory().failWrites(inst.dir() + "/logfile.txt");
  log.LogEvent(0, "x");
  EXPECT_FALSE(log.LogChanged);
}

TEST_F(EventLogTest, MessageListOfAShortLogIsTheWholeFile) {
  std::string text(1023, 'a');
  text[0] = '\n';
  inst.writeFile("logfile.txt", text);
  log.RefreshMessageList();
  EXPECT_EQ(log.MessageList, text);
}

TEST_F(EventLogTest, MessageListOfA1024ByteLogDropsTheEmptyFirstLine) {
  std::string text = "\n" + std::string(1022, 'b') + "c";
  ASSERT_EQ(text.size(), 1024u);
  inst.writeFile("logfile.txt", text);
  log.RefreshMessageList();
  EXPECT_EQ(log.MessageList, text.substr(1));
}

TEST_F(EventLogTest, MessageListOfALongLogHoldsOnlyCompleteEntriesOfTheLast1024Bytes) {
  for (int i = 0; i < 200; ++i) log.LogEvent(0, "entry %03d", i);
  const std::string file = inst.log();
  log.RefreshMessageList();
  const std::string& list = log.MessageList;
  ASSERT_LT(list.size(), 1024u);
  EXPECT_EQ(file.substr(file.size() - list.size()), list) << "the list is the file's tail";
  EXPECT_EQ(file[file.size() - list.size() - 1], '\n') << "it starts with a whole entry";
  // Entries are 19 bytes, the file 3800: the position 2776 cuts entry 146,
  // so the list begins with entry 147.
  EXPECT_EQ(list.substr(0, 18), "09:05:03 entry 147");
  EXPECT_EQ(list.size(), 3800u - 147u * 19u - 1u);
  EXPECT_EQ(list.substr(list.size() - 9), "entry 199");
}

TEST_F(EventLogTest, EntryWhoseTextStartsExactlyAtTheCutIsDroppedToo) {
  // The position 1024 bytes before the end falls on the "f" of "first".
  const std::string head = "\nxxxx\n";
  const std::string rest = "\n" + std::string(1018, 'r');
  const std::string file = head + "first" + rest;
  ASSERT_EQ(file.size() - 1024, head.size());
  inst.writeFile("logfile.txt", file);
  log.RefreshMessageList();
  EXPECT_EQ(log.MessageList, rest.substr(1)) << "'first' and its line break are gone";
}

TEST_F(EventLogTest, UnreadableLogKeepsTheOldMessageList) {
  log.MessageList = "\nold";
  log.RefreshMessageList();
  EXPECT_EQ(log.MessageList, "\nold");
}

}  // namespace
