// The power switch's side of the exchange: parseSocketAddress on a TCP/IP
// value and judgePortListReply on the one receive that answers "port list",
// with the reply buffer handled as the driver handles it. Input: the
// address value, a line feed, then the bytes the switch sends; a receive
// takes at most 256 of them.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/Text.h"
#include "drivers/net/NetIO230b.h"
#include "fuzz/FuzzSupport.h"
#include "platform/TcpClient.h"

namespace {

constexpr size_t kRxBufSize = 256;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text = AsText(data, size);
  const std::string_view value = TakeLine(text);

  const NetAddress a = parseSocketAddress(value);
  if (value.find(',') == std::string_view::npos) FUZZ_CHECK(a.port == 0);
  if (value.find_first_not_of(',') == std::string_view::npos) FUZZ_CHECK(a.address == 0);
  // The constructor's console line.
  const std::string shown = formatCut(255, "   %s:%d\n", FormatIPv4(a.address).c_str(), a.port);
  FUZZ_CHECK(shown.size() <= 3 + 15 + 1 + 5 + 1);

  char rxbuf[kRxBufSize + 1];
  const long n = static_cast<long>(std::min(text.size(), kRxBufSize));
  std::memcpy(rxbuf, text.data(), static_cast<size_t>(n));
  rxbuf[n] = '\0';
  const PortListReply judged = judgePortListReply(rxbuf, n);
  if (judged == PortListReply::Ok) FUZZ_CHECK(text == "250 OK\r\n");
  if (n == static_cast<long>(kRxBufSize)) FUZZ_CHECK(judged == PortListReply::BufferFull);
  if (judged == PortListReply::Wrong) (void)formatCut(1023, "Fehler f rxbuf:%s\n", rxbuf);

  // A failed receive is never an acknowledgement.
  rxbuf[0] = '\0';
  FUZZ_CHECK(judgePortListReply(rxbuf, -1) == PortListReply::Wrong);
  return 0;
}
