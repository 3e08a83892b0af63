#include "protocol/CommandPortClient.h"

#include <algorithm>
#include <thread>

#include "platform/TcpClient.h"
#include "protocol/RequestLine.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kOk = "ok\r\n";

int msUntil(Clock::time_point end) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

CommandResult unreachable(std::string detail, bool connected = true) {
  CommandResult r;
  r.detail = std::move(detail);
  r.connected = connected;
  return r;
}

// Connects, trying again while the port refuses until retryEnd; no
// attempt waits beyond end.
bool connect(TcpClient& client, const CommandTarget& target, Clock::time_point retryEnd,
             Clock::time_point end) {
  auto pause = std::chrono::milliseconds(20);
  for (;;) {
    if (client.open() && client.connect(target.address, target.port, std::max(msUntil(end), 1))) {
      return true;
    }
    client.close();
    if (Clock::now() + pause >= std::min(retryEnd, end)) return false;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(250));
  }
}

}  // namespace

CommandResult ExchangeCommand(const CommandTarget& target, std::string_view line) {
  const Clock::time_point start = Clock::now();
  const Clock::time_point end = start + target.within;
  const auto until = [&](std::chrono::milliseconds phase) { return std::min(Clock::now() + phase, end); };
  TcpClient client;
  if (!connect(client, target, start + target.connectFor, end)) {
    return unreachable("Tessaro nicht erreichbar (keine Verbindung)", false);
  }

  const Clock::time_point busyEnd = until(target.busyFor);
  const std::string probe = ProbeRequest(target.probeUser) + "\r\n";
  if (client.send(probe, msUntil(busyEnd)) != probe.size()) {
    return unreachable("Tessaro nicht erreichbar (Senden fehlgeschlagen)");
  }
  std::string got;
  char buffer[512];
  while (got.size() < kOk.size()) {
    const long n = client.receive(buffer, sizeof buffer, msUntil(busyEnd));
    if (n == TcpClient::kTimedOut) return unreachable("Kommandoport belegt (anderer Client)");
    if (n <= 0) return unreachable("Tessaro nicht erreichbar (Verbindung geschlossen)");
    got.append(buffer, static_cast<size_t>(n));
  }
  if (got != kOk) return unreachable("unerwartete Antwort des Servers");

  const Clock::time_point replyEnd = until(target.replyFor);
  if (client.send(line, msUntil(replyEnd)) != line.size()) {
    return unreachable("Tessaro nicht erreichbar (Senden fehlgeschlagen)");
  }
  client.finishSending();
  CommandResult r;
  r.connected = true;
  for (;;) {
    const long n = client.receive(buffer, sizeof buffer, msUntil(replyEnd));
    if (n == 0) break;
    if (n < 0) return unreachable("keine Antwort des Servers");
    r.bytes.append(buffer, static_cast<size_t>(n));
  }
  if (r.bytes.empty()) return unreachable("keine Antwort des Servers");
  r.reply = r.bytes;
  if (r.reply.size() >= 2 && r.reply.compare(r.reply.size() - 2, 2, "\r\n") == 0) r.reply.resize(r.reply.size() - 2);
  r.status = r.reply == "ok" ? CommandResult::Status::Ok : CommandResult::Status::Refused;
  return r;
}
