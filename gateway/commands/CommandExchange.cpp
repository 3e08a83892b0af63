#include "gateway/commands/CommandExchange.h"

#include <thread>

#include "platform/TcpClient.h"

namespace {

using Clock = std::chrono::steady_clock;

// Changes nothing and is not logged: a debug request without enaoutp.
constexpr std::string_view kProbe = "cmd=debug&username=gateway\r\n";
constexpr std::string_view kOk = "ok\r\n";

int msUntil(Clock::time_point end) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

CommandResult unreachable(std::string detail) {
  CommandResult r;
  r.detail = std::move(detail);
  return r;
}

// Connects, trying again while the port refuses.
bool connect(TcpClient& client, const CommandTarget& target) {
  const Clock::time_point end = Clock::now() + target.connectFor;
  auto pause = std::chrono::milliseconds(20);
  for (;;) {
    if (client.open() && client.connect(target.address, target.port, std::max(msUntil(end), 1))) {
      return true;
    }
    if (Clock::now() + pause >= end) return false;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(250));
  }
}

}  // namespace

CommandResult ExchangeCommand(const CommandTarget& target, const std::string& request) {
  TcpClient client;
  if (!connect(client, target)) return unreachable("Tessaro nicht erreichbar (keine Verbindung)");

  const Clock::time_point busyEnd = Clock::now() + target.busyFor;
  if (client.send(kProbe, msUntil(busyEnd)) != kProbe.size()) {
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

  const std::string line = request + "\r\n";
  const Clock::time_point replyEnd = Clock::now() + std::chrono::seconds(5);
  if (client.send(line, msUntil(replyEnd)) != line.size()) {
    return unreachable("Tessaro nicht erreichbar (Senden fehlgeschlagen)");
  }
  client.finishSending();
  std::string reply;
  for (;;) {
    const long n = client.receive(buffer, sizeof buffer, msUntil(replyEnd));
    if (n == 0) break;
    if (n < 0) return unreachable("keine Antwort des Servers");
    reply.append(buffer, static_cast<size_t>(n));
  }
  if (reply.size() >= 2 && reply.compare(reply.size() - 2, 2, "\r\n") == 0) reply.resize(reply.size() - 2);
  CommandResult r;
  r.status = reply == "ok" ? CommandResult::Status::Ok : CommandResult::Status::Refused;
  r.reply = std::move(reply);
  return r;
}
