// The receive paths of the two serial sensors: the HB628 answer parser and
// the LevelJet frame parser on what one poll read (at most 32 bytes), and the
// status file elements written from the values they give. The polls
// themselves read a serial port; here the devices have none, which must only
// ever leave them invalid.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "core/Tessaro.h"
#include "drivers/serial/HB628.h"
#include "drivers/serial/LevelJet.h"
#include "fuzz/FuzzSupport.h"

namespace {

constexpr size_t kReadMax = 32;  // what one poll reads at most

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TestInstallation& inst = Installation();
  static Tessaro t(inst.clock, inst.console, inst.files(), inst.dir());
  static HB628 hb(t, 0);
  static LevelJet lj(t, 1);
  inst.console.take();

  // Successive polls: each takes up to 32 bytes, its length given by the
  // first byte (so 12 and 17 come up often), the bytes following it.
  for (size_t at = 0; at < size;) {
    const size_t length = data[at] % (kReadMax + 1);
    ++at;
    const size_t want = std::min(length, size - at);
    const uint8_t* bytes = data + at;
    at += want;

    int32_t channels[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    if (ParseHB628Answer(bytes, want, channels)) {
      FUZZ_CHECK(want == 17);
      for (int k = 0; k < 8; ++k) {
        FUZZ_CHECK(channels[k] == bytes[2 * k] * 256 + bytes[2 * k + 1]);
        hb.rawValue[k] = channels[k];
      }
      hb.dataValid = true;
    } else {
      FUZZ_CHECK(want != 17);
      for (const int32_t c : channels) FUZZ_CHECK(c == -1);  // untouched
    }

    LevelJetFrame frame;
    if (ParseLevelJetFrame(bytes, want, frame)) {
      FUZZ_CHECK(want == 12);
      FUZZ_CHECK(frame.tankId >= 0 && frame.tankId <= 65535);
      FUZZ_CHECK(frame.distance >= 0 && frame.distance <= 65535);
      FUZZ_CHECK(frame.level >= 0 && frame.level <= 65535);
      FUZZ_CHECK(frame.volume >= 0 && frame.volume <= 65535);
      FUZZ_CHECK(frame.percent >= 0 && frame.percent <= 255);
      lj.dataValid = true;
      lj.tankId = frame.tankId;
      lj.distance = frame.distance;
      lj.level = frame.level;
      lj.volume = frame.volume;
      lj.percent = frame.percent;
    } else {
      FUZZ_CHECK(want != 12);
    }

    std::string fast;
    hb.do_WriteFastXml(fast);
    FUZZ_CHECK(fast.size() < 400);
    std::string slow;
    lj.do_WriteSlowXml(slow);
    FUZZ_CHECK(slow.size() < 300);
  }

  // Without a port a poll reads nothing and reports invalid data.
  FUZZ_CHECK(hb.comPort < 0 && lj.comPort < 0);
  FUZZ_CHECK(hb.do_EverySecond() == 0 && !hb.dataValid);
  FUZZ_CHECK(lj.do_EverySecond() == 0 && !lj.dataValid);
  return 0;
}
