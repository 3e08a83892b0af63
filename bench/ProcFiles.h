#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// What the benchmark reads of a process and the machine under /proc: parsers
// from the files' text, and readers that hand them the files.

// Clock ticks (sysconf(_SC_CLK_TCK) a second) from /proc/<pid>/stat.
struct CpuTicks {
  uint64_t utime = 0;
  uint64_t stime = 0;
};

// Resident memory in KiB: VmRSS and VmHWM from status, the split from
// smaps_rollup (private = Private_Clean + Private_Dirty).
struct Memory {
  double rss = 0, hwm = 0, privateKiB = 0, sharedKiB = 0, pss = 0;
  // by the mapped file's name (or [anonymous]): rss, private
  std::map<std::string, std::pair<double, double>> byMapping;
};

std::optional<CpuTicks> ParseCpuTicks(std::string_view stat);

Memory ParseMemory(std::string_view status, std::string_view rollup);

// Rss and private KiB of /proc/<pid>/smaps summed by mapping name.
std::map<std::string, std::pair<double, double>> ParseMappings(std::string_view smaps);

// "1.00 0.50 0.25" of /proc/loadavg.
std::string ParseLoadAverage(std::string_view loadavg);

// The first "model name" of /proc/cpuinfo.
std::string ParseCpuModel(std::string_view cpuinfo);

// Ends the run when the process has no stat file.
CpuTicks ReadCpuTicks(pid_t pid);
// Time the process has run on a CPU, in ns: the scheduler's own account
// (schedstat), finer than the clock ticks of stat.
int64_t ReadCpuNs(pid_t pid);
// The same summed over the process's threads now (a thread that ended is
// no longer counted).
int64_t ReadThreadsCpuNs(pid_t pid);
Memory ReadMemory(pid_t pid, bool byMapping);
std::string ReadLoadAverage();
std::string ReadCpuModel();
