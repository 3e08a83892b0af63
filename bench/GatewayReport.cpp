#include "bench/GatewayReport.h"

#include <algorithm>

#include "bench/GatewayMeasurements.h"
#include "bench/HistoryMeasurements.h"

namespace {

// Targets. "under" is <, "at most" <=.
constexpr double kMaxEventMedianMs = 50.0;    // at most
constexpr double kMaxEventP99Ms = 100.0;      // at most
constexpr double kMaxIdlePercent = 0.5;       // under
constexpr double kMaxRecordingPercent = 0.2;  // under
constexpr double kMaxResidentKiB = 16384.0;   // under
constexpr double kMaxWeekQueryMs = 50.0;      // under
constexpr double kMaxYearQueryMs = 200.0;     // under
constexpr double kMaxAttackP99Ms = 100.0;     // at most
constexpr double kMaxAttackKiB = 65536.0;     // under

std::string Ms(const Percentiles& p) {
  return Format("%.2f / %.2f ms", p.medianUs / 1000.0, p.p99Us / 1000.0);
}

std::string MiB(double kib) {
  return Format("%.2f MiB", kib / 1024.0);
}

std::string Cpu(const CpuUse& u) {
  return Format("%.3f %% (%.2f s)", u.percent, u.cpuSeconds);
}

Row Figure(const std::string& measure, const std::string& figure, const std::string& target = "",
           std::optional<bool> met = std::nullopt) {
  return {measure,
          {figure},
          target,
          met ? std::vector<std::optional<bool>>{met} : std::vector<std::optional<bool>>{}};
}

void AddGateway(const GatewayFigures& g, std::vector<Row>& rows) {
  rows.push_back(
      Figure("debug round trip, fresh connection, median / p99", Ms(g.debugFloor), "(floor)"));
  rows.push_back(Figure("dout until slow.xml is renamed (inotify)", Ms(g.rename), "(floor)"));
  rows.push_back(Figure("mode change POST answered, median / p99", Ms(g.answer)));
  rows.push_back(Figure(
      "mode change POST to its event, median / p99", Ms(g.event),
      Format("median <= %.0f ms, p99 <= %.0f ms", kMaxEventMedianMs, kMaxEventP99Ms),
      g.event.medianUs <= kMaxEventMedianMs * 1000 && g.event.p99Us <= kMaxEventP99Ms * 1000));
  const double own = g.event.medianUs - g.debugFloor.medianUs - g.rename.medianUs;
  rows.push_back(Figure("  the gateway's own (event - both floors, medians)",
                        Format("%.2f ms", own / 1000.0)));
  rows.push_back(Figure(Format("gateway idle CPU over %.0f s, recording", g.idle.seconds),
                        Cpu(g.idle), Format("< %.1f %% of one core", kMaxIdlePercent),
                        g.idle.percent < kMaxIdlePercent));
  rows.push_back(Figure("  all threads (schedstat)", Format("%.3f %%", g.idle.schedPercent)));
  rows.push_back(
      Figure(Format("gateway idle CPU over %.0f s, --history none", g.idleNoHistory.seconds),
             Cpu(g.idleNoHistory), Format("< %.1f %% of one core", kMaxIdlePercent),
             g.idleNoHistory.percent < kMaxIdlePercent));
  rows.push_back(
      Figure("  all threads (schedstat)", Format("%.3f %%", g.idleNoHistory.schedPercent)));
  const double recording = g.idle.schedPercent - g.idleNoHistory.schedPercent;
  rows.push_back(Figure("  recording's cost (schedstat difference)", Format("%.3f %%", recording),
                        Format("< %.1f %% of one core", kMaxRecordingPercent),
                        recording < kMaxRecordingPercent));
  rows.push_back(Figure("gateway VmRSS after the mode changes", MiB(g.loadMemory.rss), "< 16 MiB",
                        g.loadMemory.rss < kMaxResidentKiB));
  rows.push_back(Figure("  of it private / shared (smaps_rollup)",
                        Format("%.2f / %.2f MiB", g.loadMemory.privateKiB / 1024.0,
                               g.loadMemory.sharedKiB / 1024.0)));
  rows.push_back(Figure("gateway peak resident VmHWM", MiB(g.loadMemory.hwm), "< 16 MiB",
                        g.loadMemory.hwm < kMaxResidentKiB));
  rows.push_back(Figure("GET /api/state, keep-alive, median / p99", Ms(g.stateQuiet), "(floor)"));
  rows.push_back(Figure(Format("  under attack: %d streams, %d slow clients", g.attackStreams,
                               g.attackSlowClients),
                        Ms(g.stateUnderAttack), Format("p99 <= %.0f ms", kMaxAttackP99Ms),
                        g.stateUnderAttack.p99Us <= kMaxAttackP99Ms * 1000));
  rows.push_back(Figure("  under attack / alone, medians",
                        Format("%.2f x", g.stateUnderAttack.medianUs / std::max(g.stateQuiet.medianUs, 1.0))));
  rows.push_back(Figure("  gateway VmRSS under attack", MiB(g.attackMemory.rss), "< 64 MiB",
                        g.attackMemory.rss < kMaxAttackKiB));
}

void AddHistory(const HistoryFigures& h, std::vector<Row>& rows) {
  rows.push_back(Figure(Format("history of %d days, %d series: built in", h.days, h.series),
                        Format("%.1f s", h.buildSeconds)));
  rows.push_back(Figure("  rows written: samples / changes",
                        WithThousands(static_cast<double>(h.samplesWritten)) + " / " +
                            WithThousands(static_cast<double>(h.changesWritten))));
  rows.push_back(Figure("  rows kept: samples / 15-minute / changes",
                        WithThousands(static_cast<double>(h.samplesKept)) + " / " +
                            WithThousands(static_cast<double>(h.rollupsKept)) + " / " +
                            WithThousands(static_cast<double>(h.changesKept))));
  rows.push_back(
      Figure("  file after a checkpoint (.sqlite + -wal)", Format("%.1f MiB", h.fileMiB)));
  rows.push_back(Figure(Format("one minute's write of %d samples, wall / CPU", h.series),
                        Format("%.2f / %.2f ms", h.minuteWriteMs, h.minuteWriteCpuMs)));
  rows.push_back(
      Figure("  CPU of one core, once a minute", Format("%.4f %%", h.minuteWriteCpuMs / 600.0)));
  rows.push_back(Figure(Format("7-day query (%zu points), cold / warm", h.weekPoints),
                        Format("%.2f / %.2f ms", h.weekColdMs, h.weekWarmMs),
                        Format("< %.0f ms", kMaxWeekQueryMs),
                        h.weekColdMs < kMaxWeekQueryMs && h.weekWarmMs < kMaxWeekQueryMs));
  rows.push_back(Figure(Format("1-year query (%zu points), cold / warm", h.yearPoints),
                        Format("%.2f / %.2f ms", h.yearColdMs, h.yearWarmMs),
                        Format("< %.0f ms", kMaxYearQueryMs),
                        h.yearColdMs < kMaxYearQueryMs && h.yearWarmMs < kMaxYearQueryMs));
}

}  // namespace

std::string GatewayHeading(const GatewayFigures& g, const HistoryFigures& h) {
  std::string text;
  if (g.measured) {
    text += "Gateway: in " + g.root + " beside its server, recording into " + g.history + "\n";
    text += Format("Rounds: %d mode changes of out%d (ein/aus) after %d warm-up", g.events,
                   kEventChannel, kEventWarmUp);
    text += Format(", each followed by a debug request and a dout of out%d on connections",
                   kFloorChannel);
    text += Format(" of their own; %d ms pause after each\n", kEventPauseMs);
  }
  if (h.measured) {
    text += "History: " + h.file + " on " + h.type;
    text += Format(": %d series a minute in batches of an hour, pruned after each day,", h.series);
    text += Format(" then %d single minutes\n", kMinuteWrites);
    text += Format("Queries of %s, medians of %d; cold: the first after reopening", kQueriedSeries,
                   kQueryRuns);
    text += " with the file dropped from the page cache\n";
  }
  return text;
}

std::vector<Row> GatewayRows(const GatewayFigures& gateway, const HistoryFigures& history) {
  std::vector<Row> rows;
  if (gateway.measured) AddGateway(gateway, rows);
  if (history.measured) AddHistory(history, rows);
  return rows;
}
