#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/ProcFiles.h"

// The file systems the installation is measured on.
enum class FileSystem { Disk, Tmpfs };

struct Percentiles {
  double medianUs = 0;
  double p99Us = 0;
};

// Nearest-rank median and 99th percentile of times in ns, in us; zeros for
// no times.
Percentiles PercentilesOf(std::vector<int64_t> ns);

// Everything measured on one installation.
struct Figures {
  FileSystem fileSystem = FileSystem::Disk;
  std::string root;  // the installation's directory
  std::string type;  // the file system it is on, as statfs names it

  double idleSeconds = 0;
  double idleCpuSeconds = 0;  // utime + stime
  double idlePercent = 0;     // of one core, from utime + stime
  double idlePassUs = 0;      // schedstat CPU time per pass
  double idleSchedPercent = 0;

  int requests = 0;
  Percentiles echo, debug, dout;

  int pipelined = 0;
  double pipelinedPerSecond = 0;
  double pipelinedCpuUs = 0;  // server CPU per request

  int bursts = 0;
  double burstDoutsPerSecond = 0;
  double burstCpuUs = 0;  // server CPU per request
  Percentiles burst;      // a whole burst, send to the last reply

  Memory idleMemory;
  Memory loadMemory;          // after every phase
  double peakPrivateKiB = 0;  // the most of the samples after each phase

  int exitStatus = 0;  // after SIGTERM
};
