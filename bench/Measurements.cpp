#include "bench/Measurements.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string_view>
#include <thread>

#include "bench/BenchSupport.h"
#include "bench/Installation.h"
#include "bench/Loopback.h"
#include "bench/ServerProcess.h"

namespace {

constexpr std::string_view kDebugRequest = "cmd=debug&username=bench&enaoutp=1\r\n";
constexpr std::string_view kDoutOn = "cmd=dout&username=bench&outn=0&mode=ein\r\n";
constexpr std::string_view kDoutOff = "cmd=dout&username=bench&outn=0&mode=aus\r\n";
constexpr std::string_view kOk = "ok\r\n";

// ein and aus alternating on one channel, so that every request changes the
// output image.
std::string Douts(int count) {
  std::string requests;
  for (int i = 0; i < count; ++i) requests += (i % 2 == 0) ? kDoutOn : kDoutOff;
  return requests;
}

std::string Replies(int count) {
  std::string replies;
  for (int i = 0; i < count; ++i) replies += kOk;
  return replies;
}

// No client: the server makes its ten passes a second.
void MeasureIdle(pid_t pid, int seconds, Figures* f) {
  std::fprintf(stderr, "idle for %d s...\n", seconds);
  const CpuTicks before = ReadCpuTicks(pid);
  const int64_t cpuBefore = ReadCpuNs(pid);
  const int64_t start = NowNs();
  SleepUs(int64_t{seconds} * 1000000);
  const CpuTicks after = ReadCpuTicks(pid);
  const int64_t cpuNs = ReadCpuNs(pid) - cpuBefore;
  f->idleSeconds = static_cast<double>(NowNs() - start) / 1e9;
  const double ticks = static_cast<double>(after.utime + after.stime - before.utime - before.stime);
  f->idleCpuSeconds = ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
  f->idlePercent = 100.0 * f->idleCpuSeconds / f->idleSeconds;
  f->idlePassUs = static_cast<double>(cpuNs) / 1000.0 / (f->idleSeconds * 10.0);
  f->idleSchedPercent = 100.0 * static_cast<double>(cpuNs) / 1e9 / f->idleSeconds;
}

// Echo and debug alternate so that both see the same machine load. The gap
// lets the server finish the pass of the previous request (its status file
// writes) and wait on the port again, so each request meets a waiting server.
void MeasureRoundTrips(const Socket& server, const Options& o, Figures* f) {
  EchoFloor echo;
  const Socket floor = ConnectClient(echo.port());
  std::vector<int64_t> echoNs, debugNs, doutNs;
  for (int i = 0; i < o.requests + kWarmUp; ++i) {
    const int64_t e = RoundTrip(floor, kDebugRequest, kDebugRequest);
    SleepUs(o.gapUs);
    const int64_t d = RoundTrip(server, kDebugRequest, kOk);
    SleepUs(o.gapUs);
    if (i >= kWarmUp) {
      echoNs.push_back(e);
      debugNs.push_back(d);
    }
  }
  std::fprintf(stderr, "debug round trips done\n");
  for (int i = 0; i < o.requests + kWarmUp; ++i) {
    const int64_t d = RoundTrip(server, (i % 2 == 0) ? kDoutOn : kDoutOff, kOk);
    SleepUs(o.gapUs);
    if (i >= kWarmUp) doutNs.push_back(d);
  }
  std::fprintf(stderr, "dout round trips done\n");
  f->requests = o.requests;
  f->echo = PercentilesOf(echoNs);
  f->debug = PercentilesOf(debugNs);
  f->dout = PercentilesOf(doutNs);
}

// Sends count douts as fast as the connection takes them while the replies
// are read here: requests per second from the first byte sent to the last
// reply received.
void MeasurePipelined(const Socket& server, pid_t pid, int count, Figures* f) {
  const std::string requests = Douts(count);
  const std::string want = Replies(count);
  std::string replies;
  replies.reserve(want.size());
  std::atomic<bool> sendFailed{false};
  const int64_t cpuBefore = ReadCpuNs(pid);
  const int64_t start = NowNs();
  std::thread writer([&] {
    if (!server.sendAll(requests)) sendFailed = true;
  });
  char buffer[65536];
  while (replies.size() < want.size() && server.waitReadable(10000)) {
    const long n = server.receive(buffer, sizeof buffer);
    if (n == 0 || (n < 0 && errno != EAGAIN)) break;
    if (n > 0) replies.append(buffer, static_cast<size_t>(n));
  }
  const int64_t took = NowNs() - start;
  const int64_t cpuNs = ReadCpuNs(pid) - cpuBefore;
  writer.join();
  if (sendFailed || replies.size() != want.size()) {
    Fail("pipelined: " + std::to_string(replies.size() / kOk.size()) + " of " +
         std::to_string(count) + " replies");
  }
  if (replies != want) Fail("pipelined: a reply was not ok");
  std::fprintf(stderr, "pipelined douts done\n");
  f->pipelined = count;
  f->pipelinedPerSecond = count / (static_cast<double>(took) / 1e9);
  f->pipelinedCpuUs = static_cast<double>(cpuNs) / 1000.0 / count;
}

// Bursts of ten douts in one send, all ten replies awaited before the next:
// a front end that sets several channels at once.
void MeasureBursts(const Socket& server, pid_t pid, int count, Figures* f) {
  const std::string burst = Douts(kBurstSize);
  const std::string replies = Replies(kBurstSize);
  for (int i = 0; i < kBurstWarmUp; ++i) RoundTrip(server, burst, replies);
  std::vector<int64_t> burstNs;
  burstNs.reserve(static_cast<size_t>(count));
  const int64_t cpuBefore = ReadCpuNs(pid);
  const int64_t start = NowNs();
  for (int i = 0; i < count; ++i) burstNs.push_back(RoundTrip(server, burst, replies));
  const int64_t took = NowNs() - start;
  const int64_t cpuNs = ReadCpuNs(pid) - cpuBefore;
  std::fprintf(stderr, "bursts done\n");
  const double douts = static_cast<double>(count) * kBurstSize;
  f->bursts = count;
  f->burstDoutsPerSecond = douts / (static_cast<double>(took) / 1e9);
  f->burstCpuUs = static_cast<double>(cpuNs) / 1000.0 / douts;
  f->burst = PercentilesOf(std::move(burstNs));
}

void SampleMemory(pid_t pid, bool byMapping, Memory* into, Figures* f) {
  *into = ReadMemory(pid, byMapping);
  f->peakPrivateKiB = std::max(f->peakPrivateKiB, into->privateKiB);
}

}  // namespace

Figures MeasureInstallation(const Options& o, FileSystem fileSystem, const std::string& base,
                            const std::function<void(const TempInstallation&)>& whileRunning) {
  Figures f;
  f.fileSystem = fileSystem;
  TempInstallation dir(base, o.keep);
  f.root = dir.root();
  f.type = FileSystemOf(dir.root());
  ServerProcess server(o.server, dir, o.portWaitSeconds);
  const pid_t pid = server.pid();
  std::fprintf(stderr, "server %s started in %s (%s), pid %d\n", o.server.c_str(), f.root.c_str(),
               f.type.c_str(), pid);
  SleepUs(1000000);  // past the first passes' minute and second work

  // Idle first, before the load phases leave anything behind.
  MeasureIdle(pid, o.idleSeconds, &f);
  SampleMemory(pid, false, &f.idleMemory, &f);
  {
    const Socket client = ConnectClient(kCommandPort);
    Memory sample;
    MeasureRoundTrips(client, o, &f);
    SampleMemory(pid, false, &sample, &f);
    MeasurePipelined(client, pid, o.pipelined, &f);
    SampleMemory(pid, false, &sample, &f);
    MeasureBursts(client, pid, o.bursts, &f);
  }
  SampleMemory(pid, o.memoryDetail, &f.loadMemory, &f);
  if (whileRunning) whileRunning(dir);
  f.exitStatus = server.stop();
  return f;
}
