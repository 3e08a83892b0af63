#include "timeswitch/ControlFile.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/TestInstallation.h"
#include "timeswitch/SwitchTable.h"
#include "timeswitch/TimeSwitch.h"

namespace {

struct Loaded {
  RawSwitchPoints raw;
  SwitchTable table{};
  int32_t count = 0;
};

Loaded load(const std::string& text, int32_t weekTime) {
  Loaded l;
  l.raw = ParseControlFile(text, weekTime);
  l.count = MergeSwitchPoints(l.raw.points, l.table);
  return l;
}

// One line per point: Tuesday at minute i (lenient minutes beyond 59),
// alternating on and off.
std::string tuesdayMinutes(int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i) {
    text += "0100000 00:" + std::to_string(i) + (i % 2 == 0 ? " on\n" : " off\n");
  }
  return text;
}

TEST(ControlFile, CommentsEmptyLinesAndBlankLinesGiveNoPoint) {
  const Loaded l = load("; Heizung\n\n;1111111 06:00 on\r\n   \n   ; eingerueckt\n", W(2, 12, 0));
  EXPECT_TRUE(l.raw.points.empty());
  EXPECT_FALSE(l.raw.limitReached);
  EXPECT_EQ(l.count, 0);
  EXPECT_EQ(l.table[0].time, 0);
}

TEST(ControlFile, OnePointPerMarkedDayInMondayFirstOrder) {
  const Loaded l = load("1x0000A 06:00 on\n", 0);
  ASSERT_EQ(l.raw.points.size(), 3u);
  EXPECT_EQ(l.raw.points[0].time, W(0, 6, 0));
  EXPECT_EQ(l.raw.points[1].time, W(1, 6, 0));
  EXPECT_EQ(l.raw.points[2].time, W(6, 6, 0));
}

// A file loaded at a week time: the times of its raw points in file order,
// and the entries (time, on) of the table merged from them.
struct Merge {
  const char* name;
  const char* text;
  int32_t loadTime;
  std::vector<int32_t> raw;
  std::vector<std::pair<int32_t, int>> entries;
};

void PrintTo(const Merge& m, std::ostream* os) { *os << m.name; }

class ControlFileMerge : public ::testing::TestWithParam<Merge> {};

TEST_P(ControlFileMerge, GivesTheRawPointsAndTheTableEntries) {
  const Merge& m = GetParam();
  const Loaded l = load(m.text, m.loadTime);
  std::vector<int32_t> raw;
  for (const SwitchPoint& p : l.raw.points) raw.push_back(p.time);
  EXPECT_EQ(raw, m.raw);
  std::vector<std::pair<int32_t, int>> entries;
  for (int32_t i = 0; i < l.count; ++i) entries.emplace_back(l.table[i].time, l.table[i].on);
  EXPECT_EQ(entries, m.entries);
  EXPECT_EQ(l.table[m.entries.size()].time, 0);
}

INSTANTIATE_TEST_SUITE_P(
    ControlFile, ControlFileMerge,
    ::testing::Values(
        // Next week's 06:00 would repeat "on" after 08:00: only 08:00 remains.
        Merge{"PointsBeforeTheLoadTimeMoveIntoNextWeek", "1000000 06:00 on\n1000000 08:00 on\n",
              W(0, 7, 0), {W(0, 6, 0) + 604800, W(0, 8, 0)}, {{28800, 1}}},
        Merge{"EqualTimesOffThenOnStayInFileOrder", "0010000 22:00 off\n0010000 22:00 on\n",
              W(2, 12, 0), {252000, 252000}, {{252000, 0}, {252000, 1}}},
        Merge{"EqualTimesOnThenOffStayInFileOrder", "0010000 22:00 on\n0010000 22:00 off\n",
              W(2, 12, 0), {252000, 252000}, {{252000, 1}, {252000, 0}}},
        Merge{"PointExactlyAtTheLoadTimeStaysInThisWeekAsEntryZero",
              "0010000 13:00 off\n0010000 12:00 on\n", W(2, 12, 0), {W(2, 13, 0), W(2, 12, 0)},
              {{W(2, 12, 0), 1}, {W(2, 13, 0), 0}}},
        Merge{"MondayMidnightLoadedAtMondayMidnightIsARealPoint",
              "1000000 00:00 on\n1000000 06:00 off\n", 0, {0, 21600}, {{0, 1}, {21600, 0}}},
        Merge{"PointsTwoWeeksAheadOrLaterNeverEnterTheTable",
              "1000000 335:59 on\n1000000 336:00 off\n", 0, {1209540, 1209600}, {{1209540, 1}}}),
    [](const ::testing::TestParamInfo<Merge>& info) { return std::string(info.param.name); });

TEST(ControlFile, DailyProgrammeLoadedWednesdayNoonGivesFourteenAlternatingEntries) {
  const Loaded l = load("1111111 06:00 on\n1111111 22:00 off\n", W(2, 12, 0));
  ASSERT_EQ(l.count, 14);
  EXPECT_EQ(l.table[0].time, 252000);
  EXPECT_EQ(l.table[0].on, 0);
  EXPECT_EQ(l.table[13].time, 799200);
  EXPECT_EQ(l.table[13].on, 1);
  for (int i = 1; i < 14; ++i) {
    EXPECT_GT(l.table[i].time, l.table[i - 1].time) << i;
    EXPECT_NE(l.table[i].on, l.table[i - 1].on) << i;
  }
  EXPECT_EQ(l.table[14].time, 0);
}

TEST(ControlFile, EqualTimesEnterTheTableInFileOrder) {
  // Many equal times: any reordering would drop points as repeated states.
  std::string many;
  for (int i = 0; i < 100; ++i) many += i % 2 == 0 ? "0010000 22:00 on\n" : "0010000 22:00 off\n";
  EXPECT_EQ(load(many + "0001000 06:00 on\n", W(2, 12, 0)).count, 101);
}

TEST(ControlFile, DayMaskMustHaveExactlySevenCharacters) {
  const std::pair<const char*, size_t> rows[] = {{"111110", 0}, {"11111000", 0}, {"1111100", 5}};
  for (const auto& [mask, points] : rows) {
    SCOPED_TRACE(mask);
    EXPECT_EQ(load(std::string(mask) + " 06:00 on\n", 0).raw.points.size(), points);
  }
}

TEST(ControlFile, TimeIsReadLeniently) {
  struct Case {
    const char* time;
    int32_t expected;
  } const cases[] = {
      {"6", W(0, 6, 0)},          {"06:30:59", W(0, 6, 30)}, {"::06::30", W(0, 6, 30)},
      {"25:90", W(1, 2, 30)},     {"7x:15", W(0, 7, 15)},    {"ab", 0},
      {"+1:05", W(0, 1, 5)},
  };
  for (const Case& c : cases) {
    const Loaded l = load(std::string("1000000 ") + c.time + " on\n", 0);
    ASSERT_EQ(l.raw.points.size(), 1u) << c.time;
    EXPECT_EQ(l.raw.points[0].time, c.expected) << c.time;
  }
}

TEST(ControlFile, StateIsOnOnlyForExactlyOn) {
  const std::pair<const char*, int> rows[] = {
      {"on", 1},  {"on extra fields", 1}, {"On", 0},  {"ON", 0},
      {"onn", 0}, {"off", 0},             {"ein", 0}, {"1", 0},
  };
  for (const auto& [state, on] : rows) {
    SCOPED_TRACE(state);
    EXPECT_EQ(load(std::string("1000000 06:00 ") + state + "\n", 0).raw.points.at(0).on, on);
  }
}

TEST(ControlFile, CommentBehindTheFieldsIsCut) {
  const Loaded l = load("1111100 06:30 on;early\n", 0);
  ASSERT_EQ(l.raw.points.size(), 5u);
  EXPECT_EQ(l.raw.points[0].on, 1);
  EXPECT_EQ(l.raw.points[0].time, W(0, 6, 30));
  EXPECT_EQ(load("1111100 06:30 off ; weekend\n", 0).raw.points.at(0).on, 0);
}

TEST(ControlFile, OnlyTheSpaceSeparatesFields) {
  EXPECT_TRUE(load("1111100\t06:30 on\n", 0).raw.points.empty());
  const Loaded l = load("   1111100    06:30   on   \n", 0);
  ASSERT_EQ(l.raw.points.size(), 5u);
  EXPECT_EQ(l.raw.points[0].on, 1);
}

TEST(ControlFile, LineWithFewerThanThreeFieldsIsSkipped) {
  EXPECT_TRUE(load("1111100 06:30\n1111100\n", 0).raw.points.empty());
}

TEST(ControlFile, CarriageReturnBeforeTheLineFeedIsNotPartOfTheState) {
  const Loaded l = load("1000000 06:00 on\r\n1000000 07:00 off\r\n1000000 08:00 on", 0);
  ASSERT_EQ(l.raw.points.size(), 3u);
  EXPECT_EQ(l.raw.points[0].on, 1);
  EXPECT_EQ(l.raw.points[2].on, 1);
  EXPECT_EQ(l.raw.points[2].time, W(0, 8, 0));
}

TEST(ControlFile, LongLinesAreReadInPiecesOf255Characters) {
  // The comment fills the first piece exactly: the rest is a line of its own.
  const std::string fits = ";" + std::string(254, 'x') + "1000000 06:00 on\n";
  EXPECT_EQ(load(fits, 0).raw.points.size(), 1u);
  // One character more, and the second piece's mask is eight characters.
  const std::string over = ";" + std::string(255, 'x') + "1000000 06:00 on\n";
  EXPECT_TRUE(load(over, 0).raw.points.empty());
  // A point line padded to 255 characters, then another point in the same line.
  std::string two = "1000000 06:00 on";
  two += std::string(255 - two.size(), ' ') + "0100000 07:00 off\n";
  const Loaded l = load(two, 0);
  ASSERT_EQ(l.raw.points.size(), 2u);
  EXPECT_EQ(l.raw.points[1].time, W(1, 7, 0));
  EXPECT_EQ(l.raw.points[1].on, 0);
}

TEST(ControlFile, FiveHundredElevenPointsStayBelowTheLimit) {
  const Loaded l = load(tuesdayMinutes(511), W(0, 12, 0));
  EXPECT_EQ(l.raw.points.size(), 511u);
  EXPECT_FALSE(l.raw.limitReached);
}

TEST(ControlFile, ExactlyFiveHundredTwelvePointsAreAllMerged) {
  const Loaded l = load(tuesdayMinutes(512), W(0, 12, 0));
  EXPECT_EQ(l.raw.points.size(), 512u);
  EXPECT_TRUE(l.raw.limitReached);
  ASSERT_EQ(l.count, 512);
  EXPECT_EQ(l.table[511].time, W(1, 0, 0) + 511 * 60);
  EXPECT_EQ(l.table[511].on, 0);
}

TEST(ControlFile, PointsBeyondTheLimitAreDroppedMidLine) {
  const std::string text =
      tuesdayMinutes(511) + "1110000 20:00 off\n0000001 10:00 on\n";
  const Loaded l = load(text, W(0, 12, 0));
  ASSERT_EQ(l.raw.points.size(), 512u);
  EXPECT_TRUE(l.raw.limitReached);
  // Monday 20:00 is the 512th point; Tuesday, Wednesday and the next line are cut.
  EXPECT_EQ(l.raw.points[511].time, W(0, 20, 0));
  for (const SwitchPoint& p : l.raw.points) EXPECT_NE(p.time, W(6, 10, 0));
  EXPECT_EQ(l.count, 512);
}

class ControlFileLoad : public ::testing::Test {
 protected:
  // Wednesday 2026-12-09 12:00:30.
  TestInstallation inst;
  TimeSwitch ts{inst.t(), 32, inst.t().CurrentTime.local};
};

TEST_F(ControlFileLoad, FileIsTakenFromTheWorkingDirectoryAndFillsTheTable) {
  inst.writeFile("heizung.txt", "1111111 06:00 on\n1111111 22:00 off\n");
  EXPECT_EQ(ts.setSchaltuhrPunkte("heizung.txt"), 14);
  EXPECT_EQ(ts.count(), 14);
  EXPECT_EQ(ts.point(0).time, 252000);
  EXPECT_EQ(ts.point(13).time, 799200);
  EXPECT_EQ(ts.point(14).time, 0);
  EXPECT_EQ(inst.console.output(), "");
}

TEST_F(ControlFileLoad, MissingFileEmptiesTheTableAndPrintsTheNameAsConfigured) {
  inst.writeFile("heizung.txt", "1111111 06:00 on\n1111111 22:00 off\n");
  ASSERT_EQ(ts.setSchaltuhrPunkte("heizung.txt"), 14);
  EXPECT_EQ(ts.setSchaltuhrPunkte("./fehlt.txt"), -1);
  EXPECT_EQ(inst.console.output(),
            "Schaltuhr:setSchaltuhrPunkte: Kann Steuerdatei ./fehlt.txt nicht oeffnen\n");
  EXPECT_EQ(ts.count(), 0);
  for (int32_t i = 0; i < 14; ++i) EXPECT_EQ(ts.point(i).time, 0) << i;
}

TEST_F(ControlFileLoad, UnreadableFileIsNoControlFile) {
  inst.writeFile("sub", "1111111 06:00 on\n");
  inst.memory().failReads(inst.dir() + "/sub");  // a directory, say
  EXPECT_EQ(ts.setSchaltuhrPunkte("sub"), -1);
  EXPECT_EQ(inst.console.output(),
            "Schaltuhr:setSchaltuhrPunkte: Kann Steuerdatei sub nicht oeffnen\n");
}

TEST_F(ControlFileLoad, LimitIsReportedWhenTheLastPointIsThe512th) {
  inst.writeFile("viel.txt", tuesdayMinutes(512));
  EXPECT_EQ(ts.setSchaltuhrPunkte("viel.txt"), 512);
  EXPECT_EQ(inst.console.take(),
            "Schaltuhr: maximale Anzahl Schaltpunkte(512) in viel.txt ueberschritten\n");
  inst.writeFile("viel.txt", tuesdayMinutes(511));
  EXPECT_EQ(ts.setSchaltuhrPunkte("viel.txt"), 511);
  EXPECT_EQ(inst.console.output(), "");
}

}  // namespace
