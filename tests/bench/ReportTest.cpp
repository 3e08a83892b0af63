#include <gtest/gtest.h>

#include "bench/Report.h"

namespace {

// Both columns meeting every target, with room.
Figures Good(FileSystem fs) {
  Figures f;
  f.fileSystem = fs;
  f.echo = {50, 500};
  f.debug = {60, 600};
  f.pipelinedPerSecond = 20000;
  f.burstDoutsPerSecond = 50000;
  f.idlePercent = 0.05;
  f.idleMemory.rss = 3000;
  f.loadMemory.rss = 3100;
  f.loadMemory.hwm = 3200;
  f.peakPrivateKiB = 600;
  return f;
}

std::string MetOf(const std::vector<Figures>& columns, const std::string& measurePrefix) {
  for (const Row& r : ReportRows(columns)) {
    if (r.measure.rfind(measurePrefix, 0) == 0) return MetText(r.met);
  }
  return "no such row";
}

TEST(BenchReport, EveryTargetIsMetByGoodFigures) {
  const std::vector<Figures> columns = {Good(FileSystem::Disk), Good(FileSystem::Tmpfs)};
  int targets = 0;
  for (const Row& r : ReportRows(columns)) {
    if (r.met.empty()) continue;
    ++targets;
    SCOPED_TRACE(r.measure);
    EXPECT_TRUE(MetText(r.met) == "yes / yes" || MetText(r.met) == "- / yes");
  }
  EXPECT_EQ(targets, 8);
}

// Each case moves one figure of good columns to a target's edge.
TEST(BenchReport, TargetsHoldUpToTheirBoundaryPerFileSystem) {
  struct Case {
    const char* name;
    void (*change)(Figures& disk, Figures& tmpfs);
    const char* row;
    const char* met;
  };
  const Case cases[] = {
      {"p99 at 3 x echo",
       [](Figures& d, Figures& t) {
         d.debug.p99Us = 1500;
         t.debug.p99Us = 1500.5;
       },
       "  debug p99 / echo p99", "yes / no"},
      {"median at 4 x echo, disk without target",
       [](Figures& d, Figures& t) {
         d.debug.medianUs = 900;
         t.debug.medianUs = 200;
       },
       "  debug median / echo median", "- / yes"},
      {"median over 4 x echo on tmpfs", [](Figures&, Figures& t) { t.debug.medianUs = 200.5; },
       "  debug median / echo median", "- / no"},
      {"pipelined at 5,000",
       [](Figures& d, Figures& t) {
         d.pipelinedPerSecond = 5000;
         t.pipelinedPerSecond = 4999.9;
       },
       "dout requests/s, 0 pipelined", "yes / no"},
      {"bursts at 10,000 on both",
       [](Figures& d, Figures& t) {
         d.burstDoutsPerSecond = 10000;
         t.burstDoutsPerSecond = 10000;
       },
       "dout requests/s, 0 bursts", "yes / no"},
      {"bursts at 30,000 on tmpfs, under 10,000 on disk",
       [](Figures& d, Figures& t) {
         d.burstDoutsPerSecond = 9999;
         t.burstDoutsPerSecond = 30000;
       },
       "dout requests/s, 0 bursts", "no / yes"},
      {"idle at 0.1 %",
       [](Figures& d, Figures& t) {
         d.idlePercent = 0.1;
         t.idlePercent = 0.1;
       },
       "idle CPU", "yes / yes"},
      {"idle over 0.1 % on tmpfs, at 0.5 % on disk",
       [](Figures& d, Figures& t) {
         d.idlePercent = 0.5;
         t.idlePercent = 0.11;
       },
       "idle CPU", "no / no"},
      {"idle just under 0.5 % on disk", [](Figures& d, Figures&) { d.idlePercent = 0.499; },
       "idle CPU", "yes / yes"},
      {"VmRSS at 4 MiB",
       [](Figures& d, Figures& t) {
         d.idleMemory.rss = 4096;
         t.idleMemory.rss = 4095;
       },
       "resident memory VmRSS, idle", "no / yes"},
      {"VmHWM at 4 MiB",
       [](Figures& d, Figures& t) {
         d.loadMemory.hwm = 4095;
         t.loadMemory.hwm = 4096;
       },
       "peak resident VmHWM", "yes / no"},
      {"private at 1 MiB",
       [](Figures& d, Figures& t) {
         d.peakPrivateKiB = 1024;
         t.peakPrivateKiB = 1023;
       },
       "  of it private, most", "no / yes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Figures> columns = {Good(FileSystem::Disk), Good(FileSystem::Tmpfs)};
    c.change(columns[0], columns[1]);
    EXPECT_EQ(MetOf(columns, c.row), c.met);
  }
}

TEST(BenchReport, OneInstallationGivesOneFigureAndOneMetPerRow) {
  const std::vector<Figures> columns = {Good(FileSystem::Tmpfs)};
  for (const Row& r : ReportRows(columns)) {
    SCOPED_TRACE(r.measure);
    EXPECT_EQ(r.figures.size(), 1u);
    EXPECT_LE(r.met.size(), 1u);
  }
  EXPECT_EQ(MetOf(columns, "  debug median / echo median"), "yes");
}

TEST(BenchReport, HeadingNamesEachDirectoryAndFlagsAWrongFileSystem) {
  Figures disk = Good(FileSystem::Disk);
  disk.root = "/dev/shm/a";
  disk.type = "tmpfs";
  Figures tmpfs = Good(FileSystem::Tmpfs);
  tmpfs.root = "/dev/shm/b";
  tmpfs.type = "tmpfs";
  const std::string text = ReportHeading(RunContext{}, {disk, tmpfs});
  EXPECT_NE(text.find("disk:  /dev/shm/a on tmpfs (not a disk: see TMPDIR)\n"), std::string::npos);
  EXPECT_NE(text.find("tmpfs: /dev/shm/b on tmpfs\n"), std::string::npos);
  EXPECT_NE(text.find("Met: disk / tmpfs"), std::string::npos);
}

}  // namespace
