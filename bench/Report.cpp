#include "bench/Report.h"

#include <algorithm>
#include <functional>

#include "bench/Measurements.h"

namespace {

// Targets. The round trip targets are relative: loopback latency depends on
// the machine, so the server is held against an echo measured in the same
// run on the same installation. "under" is <, "at most" <=, "at least" >=.
constexpr double kDebugP99PerEchoP99 = 3.0;        // at most
constexpr double kDebugMedianPerEchoMedian = 4.0;  // at most, tmpfs
constexpr double kMinPipelinedPerSecond = 5000.0;
constexpr double kMinBurstPerSecondDisk = 10000.0;
constexpr double kMinBurstPerSecondTmpfs = 30000.0;
constexpr double kMaxIdlePercent = 0.5;       // under
constexpr double kMaxIdlePercentTmpfs = 0.1;  // at most
constexpr double kMaxResidentKiB = 4096.0;    // under
constexpr double kMaxPrivateKiB = 1024.0;     // under

using FigureText = std::function<std::string(const Figures&)>;
using Check = std::function<std::optional<bool>(const Figures&)>;

bool OnTmpfs(const Figures& f) {
  return f.fileSystem == FileSystem::Tmpfs;
}

std::string Us(const Percentiles& p) {
  return Format("%.0f / %.0f us", p.medianUs, p.p99Us);
}

std::string MiB(double kib) {
  return Format("%.2f MiB", kib / 1024.0);
}

std::string Split(const Memory& m) {
  return Format("%.2f / %.2f MiB", m.privateKiB / 1024.0, m.sharedKiB / 1024.0);
}

std::string PerCore(double cpuUs) {
  return Format("%.1f us (%s /s per core)", cpuUs, WithThousands(1e6 / cpuUs).c_str());
}

class Rows {
 public:
  explicit Rows(const std::vector<Figures>& columns) : columns_(columns) {}

  void add(const std::string& measure, const FigureText& figure, const std::string& target = "",
           const Check& check = nullptr) {
    Row row{measure, {}, target, {}};
    for (const Figures& f : columns_) {
      row.figures.push_back(figure(f));
      if (check) row.met.push_back(check(f));
    }
    rows_.push_back(std::move(row));
  }
  std::vector<Row> take() { return std::move(rows_); }

 private:
  const std::vector<Figures>& columns_;
  std::vector<Row> rows_;
};

}  // namespace

const char* ColumnName(FileSystem fileSystem) {
  return fileSystem == FileSystem::Tmpfs ? "tmpfs" : "disk";
}

std::string ReportHeading(const RunContext& run, const std::vector<Figures>& columns) {
  std::string text = "Tessaro benchmark: " + run.server + "\n";
  text +=
      Format("Machine: %s, %ld cores, Linux %s\n", run.cpu.c_str(), run.cores, run.kernel.c_str());
  text +=
      "Load average (1/5/15 min): " + run.loadAtStart + " at start, " + run.loadAtEnd + " at end\n";
  std::vector<std::string> names;
  for (const Figures& f : columns) {
    std::string line =
        Format("%-6s %s on %s", (std::string(ColumnName(f.fileSystem)) + ":").c_str(),
               f.root.c_str(), f.type.c_str());
    if (f.fileSystem == FileSystem::Disk && f.type == "tmpfs") line += " (not a disk: see TMPDIR)";
    if (f.fileSystem == FileSystem::Tmpfs && f.type != "tmpfs") line += " (not tmpfs)";
    text += line + "\n";
    names.push_back(ColumnName(f.fileSystem));
  }
  const Figures& first = columns.front();
  text += Format(
      "Round trips: %d each after %d warm-up, %d us pause after each reply; "
      "bursts of %d after %d warm-up\n",
      first.requests, kWarmUp, run.gapUs, kBurstSize, kBurstWarmUp);
  if (columns.size() > 1) {
    std::string joined;
    for (const std::string& n : names) joined += (joined.empty() ? "" : " / ") + n;
    text += "Met: " + joined + "; - where that file system has no such target\n";
  }
  return text;
}

std::vector<Row> ReportRows(const std::vector<Figures>& columns) {
  const Figures& first = columns.front();
  Rows rows(columns);
  rows.add(
      "echo floor round trip, median / p99", [](const Figures& f) { return Us(f.echo); },
      "(floor)");
  rows.add("debug round trip, median / p99", [](const Figures& f) { return Us(f.debug); });
  rows.add(
      "  debug p99 / echo p99",
      [](const Figures& f) { return Format("%.2f x", f.debug.p99Us / f.echo.p99Us); },
      Format("<= %.0f x", kDebugP99PerEchoP99),
      [](const Figures& f) { return f.debug.p99Us <= kDebugP99PerEchoP99 * f.echo.p99Us; });
  rows.add(
      "  debug median / echo median",
      [](const Figures& f) { return Format("%.2f x", f.debug.medianUs / f.echo.medianUs); },
      Format("<= %.0f x on tmpfs", kDebugMedianPerEchoMedian),
      [](const Figures& f) -> std::optional<bool> {
        if (!OnTmpfs(f)) return std::nullopt;
        return f.debug.medianUs <= kDebugMedianPerEchoMedian * f.echo.medianUs;
      });
  rows.add("dout round trip, median / p99", [](const Figures& f) { return Us(f.dout); });
  rows.add(
      Format("dout requests/s, %d pipelined", first.pipelined),
      [](const Figures& f) { return WithThousands(f.pipelinedPerSecond) + " /s"; },
      ">= " + WithThousands(kMinPipelinedPerSecond) + " /s",
      [](const Figures& f) { return f.pipelinedPerSecond >= kMinPipelinedPerSecond; });
  rows.add("  server CPU per pipelined dout",
           [](const Figures& f) { return PerCore(f.pipelinedCpuUs); });
  rows.add(
      Format("dout requests/s, %d bursts of %d", first.bursts, kBurstSize),
      [](const Figures& f) { return WithThousands(f.burstDoutsPerSecond) + " /s"; },
      ">= " + WithThousands(kMinBurstPerSecondDisk) +
          " /s on disk, >= " + WithThousands(kMinBurstPerSecondTmpfs) + " /s on tmpfs",
      [](const Figures& f) {
        return f.burstDoutsPerSecond >=
               (OnTmpfs(f) ? kMinBurstPerSecondTmpfs : kMinBurstPerSecondDisk);
      });
  rows.add("  burst round trip, median / p99", [](const Figures& f) { return Us(f.burst); });
  rows.add("  server CPU per burst dout", [](const Figures& f) { return PerCore(f.burstCpuUs); });
  rows.add(
      Format("idle CPU over %.0f s (utime+stime)", first.idleSeconds),
      [](const Figures& f) { return Format("%.3f %% (%.2f s)", f.idlePercent, f.idleCpuSeconds); },
      Format("< %.1f %% of one core, <= %.1f %% on tmpfs", kMaxIdlePercent, kMaxIdlePercentTmpfs),
      [](const Figures& f) {
        return f.idlePercent < kMaxIdlePercent &&
               (!OnTmpfs(f) || f.idlePercent <= kMaxIdlePercentTmpfs);
      });
  rows.add("  server CPU per idle pass (schedstat)", [](const Figures& f) {
    return Format("%.0f us (%.3f %%)", f.idlePassUs, f.idleSchedPercent);
  });
  rows.add(
      "resident memory VmRSS, idle", [](const Figures& f) { return MiB(f.idleMemory.rss); },
      "< 4 MiB", [](const Figures& f) { return f.idleMemory.rss < kMaxResidentKiB; });
  rows.add("  of it private / shared (smaps_rollup)",
           [](const Figures& f) { return Split(f.idleMemory); });
  rows.add("resident memory VmRSS, after the load",
           [](const Figures& f) { return MiB(f.loadMemory.rss); });
  rows.add("  of it private / shared (smaps_rollup)",
           [](const Figures& f) { return Split(f.loadMemory); });
  rows.add(
      "peak resident VmHWM", [](const Figures& f) { return MiB(f.loadMemory.hwm); }, "< 4 MiB",
      [](const Figures& f) { return f.loadMemory.hwm < kMaxResidentKiB; });
  rows.add(
      "  of it private, most after a phase", [](const Figures& f) { return MiB(f.peakPrivateKiB); },
      "< 1 MiB", [](const Figures& f) { return f.peakPrivateKiB < kMaxPrivateKiB; });
  return rows.take();
}

std::string MappingDetail(const std::vector<Figures>& columns) {
  std::string text;
  for (const Figures& f : columns) {
    std::vector<std::pair<std::string, std::pair<double, double>>> maps(
        f.loadMemory.byMapping.begin(), f.loadMemory.byMapping.end());
    std::sort(maps.begin(), maps.end(),
              [](const auto& a, const auto& b) { return a.second.first > b.second.first; });
    text += Format("\nResident memory by mapping on %s (KiB rss / private):\n",
                   ColumnName(f.fileSystem));
    for (const auto& [name, kib] : maps) {
      if (kib.first > 0) text += Format("  %8.0f %8.0f  %s\n", kib.first, kib.second, name.c_str());
    }
  }
  return text;
}
