#include <gtest/gtest.h>

#include "bench/Table.h"

namespace {

TEST(BenchTable, ColumnsAlignFiguresRightAndMetListsEachColumn) {
  const std::vector<Row> rows = {
      {"echo", {"47 / 517 us", "9 / 20 us"}, "(floor)", {}},
      {"bursts", {"3,000 /s", "31,000 /s"}, ">= 10,000 /s", {false, true}},
      {"median", {"1.1 x", "1.2 x"}, "<= 4 x on tmpfs", {std::nullopt, true}},
  };
  EXPECT_EQ(RenderTable({"disk", "tmpfs"}, rows),
            "| Measure |        disk |     tmpfs | Target          | Met      |\n"
            "|---------|------------:|----------:|-----------------|----------|\n"
            "| echo    | 47 / 517 us | 9 / 20 us | (floor)         |          |\n"
            "| bursts  |    3,000 /s | 31,000 /s | >= 10,000 /s    | no / yes |\n"
            "| median  |       1.1 x |     1.2 x | <= 4 x on tmpfs | - / yes  |\n");
}

TEST(BenchTable, OneColumnGivesOneMetValue) {
  EXPECT_EQ(RenderTable({"tmpfs"}, {{"idle", {"0.1 %"}, "<= 0.1 %", {true}}}),
            "| Measure | tmpfs | Target   | Met |\n"
            "|---------|------:|----------|-----|\n"
            "| idle    | 0.1 % | <= 0.1 % | yes |\n");
}

TEST(BenchTable, ThousandsAreSeparatedAfterRounding) {
  const std::pair<double, const char*> cases[] = {
      {0, "0"},          {999, "999"},        {999.5, "1,000"},
      {1000, "1,000"},   {12096.4, "12,096"}, {999999.6, "1,000,000"},
      {-1234, "-1,234"}, {-999, "-999"},
  };
  for (const auto& [value, text] : cases) {
    SCOPED_TRACE(value);
    EXPECT_EQ(WithThousands(value), text);
  }
}

}  // namespace
