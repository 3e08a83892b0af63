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

// CPU time of a process over a window: utime + stime from stat (clock
// ticks), and the scheduler's account (schedstat) summed over its threads.
struct CpuUse {
  double seconds = 0;
  double cpuSeconds = 0;  // utime + stime
  double percent = 0;     // of one core, from utime + stime
  double schedPercent = 0;
};

// The gateway beside the server of one installation.
struct GatewayFigures {
  bool measured = false;
  std::string root;     // the installation it runs in
  std::string history;  // its database while recording

  int events = 0;
  Percentiles debugFloor;  // a debug request on a fresh connection, in us
  Percentiles rename;      // a dout on a fresh connection until slow.xml's rename is seen
  Percentiles answer;      // the mode change's POST until its answer
  Percentiles event;       // the POST until the event showing the new mode

  // GET /api/state on a keep-alive connection, alone and while the face is
  // under attack: event streams and slow clients connected.
  Percentiles stateQuiet, stateUnderAttack;
  int attackStreams = 0, attackSlowClients = 0;
  Memory attackMemory;  // while under attack

  CpuUse idle;           // recording into history
  CpuUse idleNoHistory;  // --history none
  Memory loadMemory;     // after the mode changes

  int exitStatus = 0;  // after SIGTERM, recording
  int exitStatusNoHistory = 0;
};

// A simulated year of the demo installation's history, built and queried
// through the gateway's History.
struct HistoryFigures {
  bool measured = false;
  std::string file;
  std::string type;  // its file system
  int series = 0;
  int days = 0;
  int64_t samplesWritten = 0, changesWritten = 0;
  int64_t samplesKept = 0, rollupsKept = 0, changesKept = 0;
  double buildSeconds = 0;
  double fileMiB = 0;                              // .sqlite and -wal after a checkpoint
  double minuteWriteMs = 0, minuteWriteCpuMs = 0;  // means
  size_t weekPoints = 0, yearPoints = 0;
  double weekColdMs = 0, weekWarmMs = 0, yearColdMs = 0, yearWarmMs = 0;  // medians
};
