#include <gtest/gtest.h>

#include "bench/Figures.h"

namespace {

std::vector<int64_t> OneToUs(int n) {  // 1 us .. n us, shuffled
  std::vector<int64_t> ns;
  for (int i = n; i >= 1; --i) ns.push_back(int64_t{i} * 1000);
  return ns;
}

TEST(BenchFigures, PercentilesAreNearestRank) {
  struct Case {
    int samples;
    double median, p99;
  };
  const Case cases[] = {
      {1, 1, 1}, {2, 1, 2}, {100, 50, 99}, {101, 51, 100}, {2000, 1000, 1980},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.samples);
    const Percentiles p = PercentilesOf(OneToUs(c.samples));
    EXPECT_DOUBLE_EQ(p.medianUs, c.median);
    EXPECT_DOUBLE_EQ(p.p99Us, c.p99);
  }
}

TEST(BenchFigures, NoSamplesGiveZeros) {
  const Percentiles p = PercentilesOf({});
  EXPECT_EQ(p.medianUs, 0);
  EXPECT_EQ(p.p99Us, 0);
}

}  // namespace
