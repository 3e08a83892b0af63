#include "bench/GatewayMeasurements.h"

#include <httplib.h>
#include <unistd.h>

#include <cstdio>
#include <string_view>

#include "bench/BenchSupport.h"
#include "bench/EventStream.h"
#include "bench/GatewayProcess.h"
#include "bench/Loopback.h"
#include "bench/RenameWatch.h"
#include "bench/ServerProcess.h"
#include "protocol/ChannelMode.h"

namespace {

constexpr int kReplyTimeoutMs = 5000;
constexpr std::string_view kDebugRequest = "cmd=debug&username=bench\r\n";
constexpr std::string_view kOk = "ok\r\n";

CpuUse MeasureCpu(pid_t pid, int seconds) {
  const CpuTicks before = ReadCpuTicks(pid);
  const int64_t schedBefore = ReadThreadsCpuNs(pid);
  const int64_t start = NowNs();
  SleepUs(int64_t{seconds} * 1000000);
  const CpuTicks after = ReadCpuTicks(pid);
  const int64_t schedNs = ReadThreadsCpuNs(pid) - schedBefore;
  CpuUse u;
  u.seconds = static_cast<double>(NowNs() - start) / 1e9;
  const double ticks = static_cast<double>(after.utime + after.stime - before.utime - before.stime);
  u.cpuSeconds = ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
  u.percent = 100.0 * u.cpuSeconds / u.seconds;
  u.schedPercent = 100.0 * static_cast<double>(schedNs) / 1e9 / u.seconds;
  return u;
}

// The mode of the gateway's channel once it shows the server running.
std::string WaitUntilRunning(EventStream& stream) {
  const auto s =
      stream.waitFor([](const StateSeen& s) { return s.alive && !s.mode.empty(); }, 0, 10000);
  if (!s) Fail("the gateway did not show the running server within 10 s");
  return s->mode;
}

// A client of the command port as the gateway is one: a connection per
// request.
int64_t FreshRoundTrip(std::string_view request) {
  const Socket server = ConnectClient(kCommandPort);
  return RoundTrip(server, request, kOk);
}

std::string Dout(int channel, const std::string& mode) {
  return "cmd=dout&username=bench&outn=" + std::to_string(channel) + "&mode=" + mode + "\r\n";
}

// Rounds of a mode change through the API, alternating ein and aus, each
// followed by a debug request and a dout straight to the server.
void MeasureEvents(const Options& o, const TempInstallation& dir, uint16_t port,
                   EventStream& stream, std::string mode, GatewayFigures* f) {
  RenameWatch slowFile(dir.root() + "/debug", "slow.xml");
  httplib::Client api("127.0.0.1", port);
  api.set_keep_alive(true);
  // As a browser sends: without it the request's body waits for the
  // acknowledgement of its headers (Nagle), some 40 ms on loopback.
  api.set_tcp_nodelay(true);
  api.set_read_timeout(std::chrono::seconds(15));  // the gateway waits up to 10 s for the port
  const std::string path = "/api/outputs/" + std::to_string(kEventChannel) + "/mode";
  std::vector<int64_t> debugNs, renameNs, answerNs, eventNs;
  for (int i = 0; i < o.events + kEventWarmUp; ++i) {
    mode = std::string(ChannelModeName(mode == ChannelModeName(ChannelMode::Ein) ? ChannelMode::Aus : ChannelMode::Ein));
    const int64_t start = NowNs();
    const auto answer = api.Post(path, "{\"mode\":\"" + mode + "\"}", "application/json");
    const int64_t answered = NowNs();
    if (!answer || answer->status != 200 || answer->body != "{\"reply\":\"ok\"}") {
      Fail("the gateway did not take the mode change: " +
           (answer ? std::to_string(answer->status) + " " + answer->body
                   : httplib::to_string(answer.error())));
    }
    const auto seen =
        stream.waitFor([&](const StateSeen& s) { return s.mode == mode; }, start, kReplyTimeoutMs);
    if (!seen) Fail("no event showing out" + std::to_string(kEventChannel) + " " + mode);
    SleepUs(kEventPauseMs * 1000);

    const int64_t debug = FreshRoundTrip(kDebugRequest);
    SleepUs(kEventPauseMs * 1000);

    slowFile.drain();
    const int64_t sent = NowNs();
    FreshRoundTrip(Dout(kFloorChannel, std::string(ChannelModeName(i % 2 == 0 ? ChannelMode::Ein : ChannelMode::Aus))));
    const int64_t renamed = slowFile.next(kReplyTimeoutMs);
    if (renamed < 0) Fail("the server did not rewrite slow.xml after a dout");
    SleepUs(kEventPauseMs * 1000);
    if (i < kEventWarmUp) continue;
    answerNs.push_back(answered - start);
    eventNs.push_back(seen->atNs - start);
    debugNs.push_back(debug);
    renameNs.push_back(renamed - sent);
  }
  f->events = o.events;
  f->answer = PercentilesOf(answerNs);
  f->event = PercentilesOf(eventNs);
  f->debugFloor = PercentilesOf(debugNs);
  f->rename = PercentilesOf(renameNs);
  std::fprintf(stderr, "mode changes through the gateway done\n");
}

constexpr int kAttackStreams = 200;  // four from each of 50 addresses: each one's most
constexpr int kAttackSlowClients = 64;
constexpr int kStateRequests = 200;

// kStateRequests GET /api/state on one keep-alive connection.
Percentiles TimeState(uint16_t port) {
  httplib::Client api("127.0.0.1", port);
  api.set_keep_alive(true);
  api.set_tcp_nodelay(true);
  api.set_read_timeout(std::chrono::seconds(15));
  std::vector<int64_t> ns;
  for (int i = 0; i < kStateRequests; ++i) {
    const int64_t start = NowNs();
    const auto answer = api.Get("/api/state");
    if (!answer || answer->status != 200) Fail("the gateway did not answer GET /api/state");
    ns.push_back(NowNs() - start);
  }
  return PercentilesOf(ns);
}

// The face under attack: event streams and clients that sent half a request
// line and then nothing, all connected while GET /api/state is timed; and
// the same timing before them, side by side. The slow clients are timed
// well within the 10 s after which the gateway cuts them off.
void MeasureAttack(uint16_t port, pid_t pid, GatewayFigures* f) {
  f->stateQuiet = TimeState(port);
  std::vector<Socket> held;
  const std::string events = "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
  for (int i = 0; i < kAttackStreams; ++i) {
    held.push_back(ConnectClientFrom(0x7F000002 + static_cast<uint32_t>(i / 4), port));
    held.back().sendNow(events);
  }
  for (int i = 0; i < kAttackStreams; ++i) {
    if (!held[static_cast<size_t>(i)].waitReadable(10000)) Fail("an event stream got no answer within 10 s");
  }
  for (int i = 0; i < kAttackSlowClients; ++i) {
    held.push_back(ConnectClientFrom(0x7F000064 + static_cast<uint32_t>(i % 4), port));
    held.back().sendNow("GET /api/st");
  }
  f->stateUnderAttack = TimeState(port);
  f->attackMemory = ReadMemory(pid, false);
  f->attackStreams = kAttackStreams;
  f->attackSlowClients = kAttackSlowClients;
  std::fprintf(stderr, "the face under attack done\n");
}

// One gateway, idle with one event stream open; then with events the
// rounds and its memory after them, and the face under attack.
CpuUse RunGateway(const Options& o, const TempInstallation& dir, const std::string& history,
                  GatewayFigures* events, int* exitStatus) {
  GatewayProcess gateway(o.gateway, dir, history);
  std::fprintf(stderr, "gateway started with --history %s, pid %d; idle for %d s...\n",
               history.c_str(), gateway.pid(), o.idleSeconds);
  CpuUse idle;
  {
    EventStream stream(gateway.port(), kEventChannel);
    const std::string mode = WaitUntilRunning(stream);
    SleepUs(1000000);  // past the reads and the first records of the start
    idle = MeasureCpu(gateway.pid(), o.idleSeconds);
    if (events != nullptr) {
      MeasureEvents(o, dir, gateway.port(), stream, mode, events);
      events->loadMemory = ReadMemory(gateway.pid(), false);
      MeasureAttack(gateway.port(), gateway.pid(), events);
    }
  }
  *exitStatus = gateway.stop();
  return idle;
}

}  // namespace

GatewayFigures MeasureGateway(const Options& o, const TempInstallation& dir,
                              const std::string& historyBase) {
  GatewayFigures f;
  f.measured = true;
  f.root = dir.root();
  const TempDirectory historyDir(historyBase, "tessaro_bench_gateway", o.keep);
  f.history = historyDir.path() + "/tessaro-history.sqlite";
  f.idle = RunGateway(o, dir, f.history, &f, &f.exitStatus);
  f.idleNoHistory = RunGateway(o, dir, "none", nullptr, &f.exitStatusNoHistory);
  return f;
}
