#include "drivers/serial/HB628.h"

#include "base/Text.h"
#include "devices/DeviceContext.h"
#include "drivers/serial/ComPortTable.h"
#include "drivers/serial/DevicePorts.h"

namespace {

constexpr size_t kAnswerSize = 17;
constexpr int32_t kReadMax = 32;  // two answers queued overflow it: both polls fail
constexpr int32_t kMaxFailedPolls = 10;
constexpr int32_t kWriteRetries = 2;

}  // namespace

bool ParseHB628Answer(const uint8_t* bytes, size_t count, int32_t (&channels)[8]) {
  if (count != kAnswerSize) return false;
  for (size_t k = 0; k < 8; ++k) channels[k] = bytes[2 * k] * 256 + bytes[2 * k + 1];
  return true;
}

HB628::HB628(const PortContext& ports, int32_t index) : TessaroDev(ports.context), com_(ports.com) {
  devIndex = index;
  devName = "HB628";
  baudRate = 19200;
  dataBits = 1;
  parity = 0;
  stopBits = 0;
  ReadComPortConfig(t, *this);
}

// The module has one second to answer: the answer is collected at the next
// poll rather than waited for, so the loop never stalls on it.
int32_t HB628::do_EverySecond() {
  if (comPort < 0 || portState != 1) {
    dataValid = false;
    return 0;
  }
  const uint32_t port = static_cast<uint32_t>(comPort);
  uint8_t answer[kReadMax];
  const int32_t n = com_.ComRead(port, answer, kReadMax);
  if (ParseHB628Answer(answer, static_cast<size_t>(n), rawValue)) {
    errorCount = 0;
    dataValid = true;
  } else if (++errorCount > kMaxFailedPolls) {
    portState = -1;
    dataValid = false;
    t.log.LogEvent(-1, "dev%d: TIMEOUT HB628", devIndex);
  }

  static constexpr char kRequest[] = {'c', '0', '9'};
  if (com_.ComWrite(port, kRequest, sizeof kRequest) == sizeof kRequest) {
    writeRetries = kWriteRetries;
  } else if (--writeRetries == 0) {
    portState = -2;
    dataValid = false;
    t.log.LogEvent(-1, "dev%d: WRITE ERROR HB628 (%d retries)", devIndex, kWriteRetries);
  }
  return 0;
}

void HB628::do_WriteFastXml(std::string& file) {
  double ch[8];
  for (int k = 0; k < 8; ++k)
    ch[k] = static_cast<double>(static_cast<uint32_t>(rawValue[k])) / 1000.0;
  appendf(file,
          "   <AI>\n      <valid>%d</valid>\n      <CH>%.3f</CH>\n      <CH>%.3f</CH>\n"
          "      <CH>%.3f</CH>\n      <CH>%.3f</CH>\n      <CH>%.3f</CH>\n      <CH>%.3f</CH>\n"
          "      <CH>%.3f</CH>\n      <CH>%.3f</CH>\n   </AI>\n",
          dataValid ? 1 : 0, ch[0], ch[1], ch[2], ch[3], ch[4], ch[5], ch[6], ch[7]);
}
