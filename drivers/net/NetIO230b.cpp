#include "drivers/net/NetIO230b.h"

#include <cstring>
#include <string>

#include "base/Text.h"
#include "devices/DeviceContext.h"
#include "platform/Console.h"
#include "platform/TcpClient.h"

namespace {

// One receive takes at most this many bytes; an answer to "port list" that
// fills them is refused without looking at it.
constexpr size_t kRxBufSize = 256;

// The switch's greeting and its answer to the login are only counted.
constexpr long kGreetingLength = 34;
constexpr long kLoginReplyLength = 8;

// The few bytes of a command always fit the socket's buffer; this only
// bounds a send to a peer that has stopped reading.
constexpr int kSendTimeoutMs = 1000;

// Fixed in the switch's set-up; user name and password are the same text.
constexpr char kLogin[] = "login pxmrt pxmrt\n";

}  // namespace

NetAddress parseSocketAddress(std::string_view text) {
  std::string_view addressText = "0.0.0.0";
  std::string_view portText = "0";
  const size_t first = text.find_first_not_of(',');
  if (first != std::string_view::npos) {
    const size_t comma = text.find(',', first);
    if (comma == std::string_view::npos) {
      addressText = text.substr(first);
    } else {
      addressText = text.substr(first, comma - first);
      // Everything behind the first part's comma, further commas included.
      if (comma + 1 < text.size()) portText = text.substr(comma + 1);
    }
  }
  NetAddress a;
  a.address = ParseIPv4(addressText);
  a.port = static_cast<uint16_t>(static_cast<uint32_t>(parseInt(portText)) & 0xFFFFu);
  return a;
}

PortListReply judgePortListReply(const char* reply, long count) {
  if (count == static_cast<long>(kRxBufSize)) return PortListReply::BufferFull;
  constexpr std::string_view kOk = "250 OK\r\n";
  if (count == static_cast<long>(kOk.size()) && std::memcmp(reply, kOk.data(), kOk.size()) == 0) {
    return PortListReply::Ok;
  }
  return PortListReply::Wrong;
}

NetIO230b::NetIO230b(const DeviceContext& t, int32_t index) : TessaroDev(t) {
  devIndex = index;
  devName = "NetIo230b";
  numOutputs = 4;
  const std::string pval = t.config("TCP/IP", "dev" + std::to_string(index), 32);
  netAddress = parseSocketAddress(pval);
  t.console.printf("   %s:%d\n", FormatIPv4(netAddress.address).c_str(), netAddress.port);
}

int32_t NetIO230b::do_WriteAllPortBits() {
  int32_t result = 0;
  char mask_str[5];
  for (int i = 0; i < 4; ++i) mask_str[i] = getOutputBit(i) ? '1' : '0';
  mask_str[4] = '\0';
  t.console.printf("NETIO: %s\n", mask_str);

  if (t.EnableOutput) {
    result = -1;
    TcpClient client;
    if (!client.open()) {
      t.console.printf("Fehler a\n");
    } else if (!client.connect(netAddress.address, netAddress.port, kConnectTimeoutMs)) {
      t.console.printf("NetIO230b::do_WriteAllPortBits: connect fehlgeschlagen\n");
    } else {
      result = exchange(client, mask_str);
    }
    client.close();
  }

  outputsChanged = false;
  if (result == 0) {
    outputsValid = true;
  } else {
    outputsValid = false;
    t.log.LogEvent(-1, "dev%d(%s): Datenausgabe fehlgeschlagen", devIndex, devName.c_str());
  }
  return result;
}

int32_t NetIO230b::exchange(TcpClient& client, const char* mask_str) {
  // One byte more than a receive may fill, for the terminating zero.
  char rxbuf[kRxBufSize + 1];
  if (client.receive(rxbuf, kRxBufSize, kReceiveTimeoutMs) != kGreetingLength) {
    t.console.printf("Fehler c\n");
    return -1;
  }
  client.send(kLogin, kSendTimeoutMs);
  if (client.receive(rxbuf, kRxBufSize, kReceiveTimeoutMs) != kLoginReplyLength) {
    t.console.printf("Fehler d\n");
    return -1;
  }
  client.send(formatCut(kRxBufSize - 1, "port list %s\n", mask_str), kSendTimeoutMs);
  const long n = client.receive(rxbuf, kRxBufSize, kReceiveTimeoutMs);
  // A receive that failed (error, time-out) counts as a reply of nothing.
  rxbuf[n > 0 ? n : 0] = '\0';
  switch (judgePortListReply(rxbuf, n)) {
    case PortListReply::Ok:
      return 0;
    case PortListReply::BufferFull:
      t.console.printf("Fehler e\n");
      return -1;
    case PortListReply::Wrong:
      t.console.printf("Fehler f rxbuf:%s\n", rxbuf);
      return -1;
  }
  return -1;
}
