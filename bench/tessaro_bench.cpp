// tessaro_bench: starts the real server in a temporary installation, once on
// the disk ($TMPDIR, default /tmp) and once on tmpfs (/dev/shm), and prints
// one table of what it costs on each: request round trips against a plain
// loopback echo as the floor, pipelined and burst requests per second, and
// the idle server's CPU time and resident memory.
//
// Usage: see kUsage (--help).

#include <signal.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "bench/Measurements.h"
#include "bench/Options.h"
#include "bench/ProcFiles.h"
#include "bench/Report.h"

#ifndef TESSARO_SERVER
#error "TESSARO_SERVER must name the server binary"
#endif

namespace {

std::string DiskBase() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

}  // namespace

int main(int argc, char** argv) {
  const ParsedOptions parsed =
      ParseOptions(std::vector<std::string>(argv + 1, argv + argc), TESSARO_SERVER);
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
  std::vector<Figures> columns;
  if (opt.only != Only::Tmpfs) {
    columns.push_back(MeasureInstallation(opt, FileSystem::Disk, DiskBase()));
  }
  if (opt.only != Only::Disk) {
    columns.push_back(MeasureInstallation(opt, FileSystem::Tmpfs, "/dev/shm"));
  }
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

  int status = 0;
  for (const Figures& f : columns) {
    if (f.exitStatus != 0) {
      std::fprintf(stderr, "tessaro_bench: the server on %s ended with status %d after SIGTERM\n",
                   ColumnName(f.fileSystem), f.exitStatus);
      status = 1;
    }
  }
  return status;
}
