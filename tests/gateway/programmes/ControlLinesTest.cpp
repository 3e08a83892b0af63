// Control files read and written for the editor, checked against the
// server's own loader: what is written must be the programme that was read.
#include "gateway/programmes/ControlLines.h"

#include <gtest/gtest.h>

#include "gateway/programmes/ProgrammeJson.h"
#include "timeswitch/ControlFile.h"

namespace {

using nlohmann::json;

// The raw points the server reads from text, as (week time, on) pairs.
std::vector<std::pair<int32_t, int>> Loaded(const std::string& text) {
  std::vector<std::pair<int32_t, int>> out;
  for (const SwitchPoint& p : ParseControlFile(text, 3 * kDaySeconds).points) out.emplace_back(p.time, p.on);
  return out;
}

TEST(ControlLines, LenientLinesAreReadAsTheServerReadsThemAndWrittenInItsSyntax) {
  const std::string text =
      "; Heizung\r\n"
      "MDMDF00 7 on\r\n"
      "1111111 06:30:59 ON ;  fr\xFCh \n"
      "111110 06:00 on\n"
      "0000000 05:00 on\n"
      "1111100\t06:00 on\n"
      "   0000011 22:00 off mehr;davon\n"
      "\n"
      "; Ende";
  const ControlLines lines = ParseControlLines(text);
  ASSERT_EQ(lines.points.size(), 3u);
  EXPECT_EQ(lines.points[1].line, 3);

  const std::string written = WriteControlLines(lines.points, lines.kept);
  EXPECT_EQ(written,  // only exactly "on" switches on
            "; Heizung\n"
            "1111100 07:00 on\n"
            "1111111 06:30 off    ; fr\xFCh\n"
            "111110 06:00 on\n"
            "0000000 05:00 on\n"
            "1111100\t06:00 on\n"
            "0000011 22:00 off    ; mehr;davon\n"
            "\n"
            "; Ende\n");
  EXPECT_EQ(Loaded(written), Loaded(text));
}

TEST(ControlLines, KeptLinesStayBeforeThePointsThatFollowedThem) {
  const ControlLines lines = ParseControlLines(
      "; Kopf\n1111100 06:00 on\n; Abend\n1111100 22:00 off\n; Wochenende\n0000011 08:00 on\n");
  std::vector<ControlPoint> points = lines.points;
  points.erase(points.begin() + 1);                               // the evening goes
  points.insert(points.begin(), {"0010000", 12, 0, false, "", 0});  // a new one comes first
  EXPECT_EQ(WriteControlLines(points, lines.kept),
            "; Kopf\n0010000 12:00 off\n1111100 06:00 on\n; Abend\n; Wochenende\n0000011 08:00 on\n");
}

TEST(ControlLines, PointsOutOfRangeAreRefusedWithTheirNumber) {
  const std::string longest(255 - 23, 'x');  // "1111100 06:00 on" padded, "; " and the comment
  const struct {
    json point;
    const char* problem;  // nullptr: accepted
  } cases[] = {
      {{{"days", "1111100"}, {"time", "00:00"}, {"on", true}}, nullptr},
      {{{"days", "0000001"}, {"time", "23:59"}, {"on", false}, {"comment", "K\u00fcche"}, {"line", 4}}, nullptr},
      {{{"days", "1111100"}, {"time", "06:00"}, {"on", true}, {"comment", longest}}, nullptr},
      {{{"days", "1111100"}, {"time", "06:00"}, {"on", true}, {"comment", longest + "x"}}, "zu lang"},
      {{{"days", "111110"}, {"time", "06:00"}, {"on", true}}, "Tage"},
      {{{"days", "11111000"}, {"time", "06:00"}, {"on", true}}, "Tage"},
      {{{"days", "0000000"}, {"time", "06:00"}, {"on", true}}, "Tage"},
      {{{"days", "MDMDF00"}, {"time", "06:00"}, {"on", true}}, "Tage"},
      {{{"days", "1111100"}, {"time", "24:00"}, {"on", true}}, "00:00 bis 23:59"},
      {{{"days", "1111100"}, {"time", "12:60"}, {"on", true}}, "00:00 bis 23:59"},
      {{{"days", "1111100"}, {"time", "6:00"}, {"on", true}}, "HH:MM"},
      {{{"days", "1111100"}, {"time", "06:00"}, {"on", "on"}}, "on erwartet"},
      {{{"days", "1111100"}, {"time", "06:00"}, {"on", true}, {"comment", "a\nb"}}, "Steuerzeichen"},
      {{{"days", "1111100"}, {"time", "06:00"}, {"on", true}, {"comment", "\u20ac"}}, "ISO 8859-1"},
      {{{"days", "1111100"}, {"time", "06:00"}, {"on", true}, {"line", -1}}, "line"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.point.dump());
    const json points = {{{"days", "1000000"}, {"time", "05:00"}, {"on", true}}, c.point};
    std::string problem;
    const auto read = PointsFromJson(points, &problem);
    if (c.problem == nullptr) {
      ASSERT_TRUE(read) << problem;
      // Back to JSON as it came, but for the line of a new point.
      json again = PointsToJson(*read)[1];
      if (!c.point.contains("line")) again.erase("line");
      EXPECT_EQ(again, c.point);
    } else {
      EXPECT_FALSE(read);
      EXPECT_EQ(problem.rfind("Punkt 2: ", 0), 0u) << problem;
      EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    }
  }
  std::string problem;
  EXPECT_FALSE(PointsFromJson(json::object(), &problem));
}

TEST(ControlLines, TheLimitIsTheServersCountOfOnePointPerDay) {
  std::vector<ControlPoint> points(73, {"1111111", 6, 0, true, "", 0});  // 511 raw points
  points.push_back({"0000001", 7, 0, false, "", 0});
  EXPECT_EQ(RawPointCount(points), 512u);
  EXPECT_EQ(ProgrammeProblem(points), std::nullopt);
  const RawSwitchPoints loaded = ParseControlFile(WriteControlLines(points, {}), 0);
  EXPECT_EQ(loaded.points.size(), 512u);
  EXPECT_EQ(loaded.points.back().on, 0) << "the 512th point is read";

  points.back().days = "0000011";
  ASSERT_TRUE(ProgrammeProblem(points));
  EXPECT_NE(ProgrammeProblem(points)->find("513 Schaltpunkte"), std::string::npos);
}

}  // namespace
