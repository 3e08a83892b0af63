#include <gtest/gtest.h>

#include "bench/ProcFiles.h"

namespace {

TEST(BenchProcFiles, CpuTicksAreFields14And15AfterTheCommandName) {
  // A command name may hold blanks and ") "; only the last ')' ends it.
  const auto t = ParseCpuTicks(
      "4242 (tes) (saro x) S 1 4242 4242 0 -1 4194560 120 0 0 0 37 12 0 0 20 0 1 0 99\n");
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(t->utime, 37u);
  EXPECT_EQ(t->stime, 12u);
}

TEST(BenchProcFiles, CpuTicksOfATruncatedOrGarbledStatAreNone) {
  EXPECT_FALSE(ParseCpuTicks("").has_value());
  EXPECT_FALSE(ParseCpuTicks("4242 tessaro S 1 2 3 4 5 6 7 8 9 10 11 12").has_value());
  EXPECT_FALSE(ParseCpuTicks("4242 (tessaro) S 1 4242 4242 0 -1 4194560 120 0 0 0 37").has_value());
  EXPECT_FALSE(
      ParseCpuTicks("4242 (tessaro) S 1 4242 4242 0 -1 4194560 120 0 0 0 3x 12").has_value());
}

TEST(BenchProcFiles, MemorySumsTheRollupsPrivateAndSharedLines) {
  const Memory m =
      ParseMemory("Name:\ttessaro\nVmHWM:\t    3216 kB\nVmRSS:\t    3184 kB\nThreads:\t1\n",
                  "55d0-7ffc ---p 00000000 00:00 0  [rollup]\nRss:  3184 kB\nPss:  1100 kB\n"
                  "Shared_Clean:  2600 kB\nShared_Dirty:  40 kB\n"
                  "Private_Clean:  300 kB\nPrivate_Dirty:  244 kB\n");
  EXPECT_DOUBLE_EQ(m.hwm, 3216);
  EXPECT_DOUBLE_EQ(m.rss, 3184);
  EXPECT_DOUBLE_EQ(m.privateKiB, 544);
  EXPECT_DOUBLE_EQ(m.sharedKiB, 2640);
  EXPECT_DOUBLE_EQ(m.pss, 1100);
}

TEST(BenchProcFiles, MappingsAreSummedByFileNameAnonymousOnesTogether) {
  const auto byName = ParseMappings(
      "7f00-7f10 r--p 00000000 08:01 1234   /usr/lib/x86_64-linux-gnu/libc.so.6\n"
      "Rss:  100 kB\nPrivate_Clean:  0 kB\nPrivate_Dirty:  8 kB\nVmFlags: rd mr mw me\n"
      "7f10-7f20 r-xp 00010000 08:01 1234   /usr/lib/x86_64-linux-gnu/libc.so.6\n"
      "Rss:  900 kB\nPrivate_Clean:  4 kB\nPrivate_Dirty:  0 kB\n"
      "7f20-7f30 rw-p 00000000 00:00 0\n"
      "Rss:  16 kB\nPrivate_Dirty:  16 kB\n"
      "7f30-7f40 rw-p 00000000 00:00 0\n"
      "Rss:  4 kB\nPrivate_Dirty:  4 kB\n");
  ASSERT_EQ(byName.size(), 2u);
  EXPECT_DOUBLE_EQ(byName.at("libc.so.6").first, 1000);
  EXPECT_DOUBLE_EQ(byName.at("libc.so.6").second, 12);
  EXPECT_DOUBLE_EQ(byName.at("[anonymous]").first, 20);
  EXPECT_DOUBLE_EQ(byName.at("[anonymous]").second, 20);
}

TEST(BenchProcFiles, LoadAverageAndCpuModelComeFromTheirLines) {
  EXPECT_EQ(ParseLoadAverage("0.05 0.33 0.29 1/187 4242\n"), "0.05 0.33 0.29");
  EXPECT_EQ(ParseCpuModel("processor\t: 0\nmodel name\t: AMD EPYC 7B13\nprocessor\t: 1\n"
                          "model name\t: other\n"),
            "AMD EPYC 7B13");
  EXPECT_EQ(ParseCpuModel("processor\t: 0\nFeatures\t: fp asimd\n"), "unknown CPU");
}

}  // namespace
