#include <gtest/gtest.h>

#include "bench/GatewayReport.h"

namespace {

// Both parts meeting every target, with room.
GatewayFigures GoodGateway() {
  GatewayFigures g;
  g.measured = true;
  g.debugFloor = {300, 600};
  g.rename = {500, 900};
  g.event = {2000, 30000};
  g.idle = {60, 0.12, 0.2, 0.21};
  g.idleNoHistory = {60, 0.10, 0.17, 0.18};
  g.loadMemory.rss = 11000;
  g.loadMemory.hwm = 11500;
  g.stateQuiet = {200, 400};
  g.stateUnderAttack = {300, 5000};
  g.attackMemory.rss = 20000;
  return g;
}

HistoryFigures GoodHistory() {
  HistoryFigures h;
  h.measured = true;
  h.weekColdMs = 2;
  h.weekWarmMs = 1;
  h.yearColdMs = 40;
  h.yearWarmMs = 20;
  return h;
}

std::string MetOf(const GatewayFigures& g, const HistoryFigures& h, const std::string& prefix) {
  for (const Row& r : GatewayRows(g, h)) {
    if (r.measure.rfind(prefix, 0) == 0) return MetText(r.met);
  }
  return "no such row";
}

TEST(BenchGatewayReport, EveryTargetIsMetByGoodFigures) {
  int targets = 0;
  for (const Row& r : GatewayRows(GoodGateway(), GoodHistory())) {
    SCOPED_TRACE(r.measure);
    ASSERT_EQ(r.figures.size(), 1u);
    if (r.met.empty()) continue;
    ++targets;
    EXPECT_EQ(MetText(r.met), "yes");
  }
  EXPECT_EQ(targets, 10);
}

// Each case moves one figure of good parts to a target's edge.
TEST(BenchGatewayReport, TargetsHoldUpToTheirBoundary) {
  struct Case {
    const char* name;
    void (*change)(GatewayFigures& g, HistoryFigures& h);
    const char* row;
    const char* met;
  };
  const Case cases[] = {
      {"event median at 50 ms",
       [](GatewayFigures& g, HistoryFigures&) {
         g.event = {50000, 60000};
       },
       "mode change POST to its event", "yes"},
      {"event median over 50 ms",
       [](GatewayFigures& g, HistoryFigures&) {
         g.event = {50001, 60000};
       },
       "mode change POST to its event", "no"},
      {"event p99 at 100 ms", [](GatewayFigures& g, HistoryFigures&) { g.event.p99Us = 100000; },
       "mode change POST to its event", "yes"},
      {"event p99 over 100 ms", [](GatewayFigures& g, HistoryFigures&) { g.event.p99Us = 100001; },
       "mode change POST to its event", "no"},
      {"state under attack, p99 at 100 ms",
       [](GatewayFigures& g, HistoryFigures&) { g.stateUnderAttack.p99Us = 100000; }, "  under attack:", "yes"},
      {"state under attack, p99 over 100 ms",
       [](GatewayFigures& g, HistoryFigures&) { g.stateUnderAttack.p99Us = 100001; }, "  under attack:", "no"},
      {"64 MiB under attack", [](GatewayFigures& g, HistoryFigures&) { g.attackMemory.rss = 65536; },
       "  gateway VmRSS under attack", "no"},
      {"idle at 0.5 %", [](GatewayFigures& g, HistoryFigures&) { g.idle.percent = 0.5; },
       "gateway idle CPU over 60 s, recording", "no"},
      {"idle without history at 0.5 %",
       [](GatewayFigures& g, HistoryFigures&) { g.idleNoHistory.percent = 0.5; },
       "gateway idle CPU over 60 s, --history none", "no"},
      {"recording just under 0.2 %",
       [](GatewayFigures& g, HistoryFigures&) {
         g.idle.schedPercent = 0.1999;
         g.idleNoHistory.schedPercent = 0;
       },
       "  recording's cost", "yes"},
      {"recording at 0.2 %",
       [](GatewayFigures& g, HistoryFigures&) {
         g.idle.schedPercent = 0.2;
         g.idleNoHistory.schedPercent = 0;
       },
       "  recording's cost", "no"},
      {"VmRSS at 16 MiB", [](GatewayFigures& g, HistoryFigures&) { g.loadMemory.rss = 16384; },
       "gateway VmRSS", "no"},
      {"VmHWM at 16 MiB", [](GatewayFigures& g, HistoryFigures&) { g.loadMemory.hwm = 16384; },
       "gateway peak resident VmHWM", "no"},
      {"a cold week at 50 ms", [](GatewayFigures&, HistoryFigures& h) { h.weekColdMs = 50; },
       "7-day query", "no"},
      {"a warm week at 50 ms", [](GatewayFigures&, HistoryFigures& h) { h.weekWarmMs = 50; },
       "7-day query", "no"},
      {"a cold year just under 200 ms",
       [](GatewayFigures&, HistoryFigures& h) { h.yearColdMs = 199.9; }, "1-year query", "yes"},
      {"a cold year at 200 ms", [](GatewayFigures&, HistoryFigures& h) { h.yearColdMs = 200; },
       "1-year query", "no"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GatewayFigures g = GoodGateway();
    HistoryFigures h = GoodHistory();
    c.change(g, h);
    EXPECT_EQ(MetOf(g, h, c.row), c.met);
  }
}

TEST(BenchGatewayReport, TheGatewaysOwnPartIsTheEventLessBothFloors) {
  for (const Row& r : GatewayRows(GoodGateway(), GoodHistory())) {
    if (r.measure.find("the gateway's own") != std::string::npos) {
      EXPECT_EQ(r.figures[0], "1.20 ms");
      return;
    }
  }
  ADD_FAILURE() << "no row of the gateway's own part";
}

TEST(BenchGatewayReport, APartNotMeasuredHasNoRowsAndNoHeading) {
  const GatewayFigures noGateway;
  const HistoryFigures noHistory;
  EXPECT_TRUE(GatewayRows(noGateway, noHistory).empty());
  EXPECT_EQ(GatewayHeading(noGateway, noHistory), "");
  for (const Row& r : GatewayRows(noGateway, GoodHistory())) {
    EXPECT_EQ(r.measure.find("gateway"), std::string::npos) << r.measure;
  }
  EXPECT_EQ(GatewayHeading(GoodGateway(), noHistory).find("History:"), std::string::npos);
  EXPECT_EQ(MetOf(GoodGateway(), noHistory, "7-day query"), "no such row");
}

}  // namespace
