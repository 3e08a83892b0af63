// tessaro_bench: starts the real server in a temporary installation, once on
// the disk ($TMPDIR, default /tmp) and once on tmpfs (/dev/shm), and prints
// one table of what it costs on each: request round trips against a plain
// loopback echo as the floor, pipelined and burst requests per second, and
// the idle server's CPU time and resident memory. A second table has the
// gateway beside the server on tmpfs (event latency, idle CPU with and
// without recording, memory) and the history of a simulated year on the
// disk (build, size, queries).
//
// Usage: see kUsage (--help).

#include <signal.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "bench/BenchSupport.h"
#include "bench/GatewayMeasurements.h"
#include "bench/GatewayReport.h"
#include "bench/HistoryMeasurements.h"
#include "bench/Measurements.h"
#include "bench/Options.h"
#include "bench/ProcFiles.h"
#include "bench/Report.h"

#ifndef TESSARO_SERVER
#error "TESSARO_SERVER must name the server binary"
#endif
#ifndef TESSARO_GATEWAY
#error "TESSARO_GATEWAY must name the gateway binary"
#endif

namespace {

std::string DiskBase() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

int Run(int argc, char** argv) {
  const ParsedOptions parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc),
                                            TESSARO_SERVER, TESSARO_GATEWAY);
  switch (parsed.outcome) {
    case ParsedOptions::Outcome::Run:
      break;
    case ParsedOptions::Outcome::Invalid:
      std::fprintf(stderr, "tessaro_bench: %s\n", parsed.error.c_str());
      return 1;
    case ParsedOptions::Outcome::Help:
    case ParsedOptions::Outcome::Usage:
      std::fputs(kUsage, stderr);
      return parsed.outcome == ParsedOptions::Outcome::Help ? 0 : 2;
  }
  const Options& opt = parsed.options;
  signal(SIGPIPE, SIG_IGN);

  RunContext run;
  run.server = opt.server;
  run.loadAtStart = ReadLoadAverage();
  // The gateway runs beside the server on tmpfs, as a service installation
  // has its status files; on the disk only when that is the one measured.
  // Its history goes to the disk, as a real installation's does.
  GatewayFigures gateway;
  const std::function<void(const TempInstallation&)> measureGateway =
      [&](const TempInstallation& dir) {
        if (opt.gatewayPart) gateway = MeasureGateway(opt, dir, DiskBase());
      };
  std::vector<Figures> columns;
  if (opt.only != Only::Tmpfs) {
    columns.push_back(MeasureInstallation(
        opt, FileSystem::Disk, DiskBase(),
        opt.only == Only::Disk ? measureGateway : std::function<void(const TempInstallation&)>()));
  }
  if (opt.only != Only::Disk) {
    columns.push_back(MeasureInstallation(opt, FileSystem::Tmpfs, "/dev/shm", measureGateway));
  }
  HistoryFigures history;
  if (opt.historyPart) history = MeasureHistory(opt, DiskBase());
  run.loadAtEnd = ReadLoadAverage();
  run.cpu = ReadCpuModel();
  run.cores = sysconf(_SC_NPROCESSORS_ONLN);
  utsname un{};
  uname(&un);
  run.kernel = un.release;
  run.gapUs = opt.gapUs;

  std::vector<std::string> names;
  for (const Figures& f : columns) names.push_back(ColumnName(f.fileSystem));
  std::printf("%s\n%s", ReportHeading(run, columns).c_str(),
              RenderTable(names, ReportRows(columns)).c_str());
  if (opt.memoryDetail) std::printf("%s", MappingDetail(columns).c_str());
  if (gateway.measured || history.measured) {
    std::printf("\n%s%s", GatewayHeading(gateway, history).c_str(),
                RenderTable({"Figure"}, GatewayRows(gateway, history)).c_str());
  }

  int status = 0;
  for (const Figures& f : columns) {
    if (f.exitStatus != 0) {
      std::fprintf(stderr, "tessaro_bench: the server on %s ended with status %d after SIGTERM\n",
                   ColumnName(f.fileSystem), f.exitStatus);
      status = 1;
    }
  }
  if (gateway.measured && (gateway.exitStatus != 0 || gateway.exitStatusNoHistory != 0)) {
    std::fprintf(stderr, "tessaro_bench: the gateway ended with status %d and %d after SIGTERM\n",
                 gateway.exitStatus, gateway.exitStatusNoHistory);
    status = 1;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    Fail(e.what());
  }
}
