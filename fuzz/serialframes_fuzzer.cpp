// The receive paths of the two serial sensors as the loop drives them: an
// HB628 and a LevelJet, each on a pseudo-terminal, polled by their own
// do_EverySecond, each poll reading what the device side sent since the one
// before (at most 32 bytes), and the status file elements written from what
// they took. A port a driver gives up is repaired by the supervision, as at
// the next minute. Every input starts with fresh devices on the same two
// terminals.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "core/LoadConfig.h"
#include "core/Tessaro.h"
#include "drivers/serial/ComPortTable.h"
#include "drivers/serial/DevicePorts.h"
#include "drivers/serial/HB628.h"
#include "drivers/serial/LevelJet.h"
#include "fuzz/FuzzSupport.h"
#include "tools/support/Pty.h"
#include "tools/support/Wait.h"

namespace {

constexpr size_t kReadMax = 32;  // what one poll reads at most

// Hands bytes to the device's port and waits until they have arrived there,
// so the poll that follows reads all of them.
void Send(Tessaro& t, Pty& pty, uint32_t port, const uint8_t* bytes, size_t n) {
  FUZZ_CHECK(t.com.ComInQueue(port) == 0);
  if (n == 0) return;
  FUZZ_CHECK(pty.send(std::string_view(reinterpret_cast<const char*>(bytes), n)));
  FUZZ_CHECK(WaitUntil([&] { return t.com.ComInQueue(port) == static_cast<int32_t>(n); }));
}

// What the device side was sent (the HB628's requests) goes unread.
void Drain(Pty& pty) {
  char buffer[256];
  while (read(pty.master(), buffer, sizeof buffer) > 0) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TestInstallation& inst = SharedInstallation();
  static Pty hbSide, ljSide;
  static const bool once = [&] {
    FUZZ_CHECK(hbSide.valid() && ljSide.valid());
    inst.writeIni(
        "[Devices]\ndev0=hb628\ndev1=leveljet\n[COM-Ports]\ndev0=COM1\ndev1=COM2\n"
        "[COM-Devices]\nCOM1=" +
        hbSide.slavePath() + "\nCOM2=" + ljSide.slavePath() + "\n");
    return true;
  }();
  (void)once;
  inst.clock.set(FuzzNow());
  inst.console.take();
  inst.memory().remove(inst.dir() + "/logfile.txt");

  Tessaro t(inst.clock, inst.console, inst.files(), inst.dir());
  t.readClock();
  LoadDevices(t);
  ComInit(t);
  OpenAllDevicePorts(t);
  auto& hb = static_cast<HB628&>(*t.devices.get(0));
  auto& lj = static_cast<LevelJet&>(*t.devices.get(1));
  FUZZ_CHECK(hb.portState == 1 && lj.portState == 1);

  // Successive polls: each takes up to 32 bytes, its length given by the
  // first byte (so 12 and 17 come up often), the bytes following it.
  for (size_t at = 0; at < size;) {
    const size_t length = data[at] % (kReadMax + 1);
    ++at;
    const size_t n = std::min(length, size - at);
    const uint8_t* bytes = data + at;
    at += n;

    const bool hbReads = hb.portState == 1;
    int32_t before[8];
    std::memcpy(before, hb.rawValue, sizeof before);
    if (hbReads) Send(t, hbSide, 0, bytes, n);
    FUZZ_CHECK(hb.do_EverySecond() == 0);
    Drain(hbSide);
    if (hbReads && n == 17) {
      FUZZ_CHECK(hb.dataValid);
      for (int k = 0; k < 8; ++k)
        FUZZ_CHECK(hb.rawValue[k] == bytes[2 * k] * 256 + bytes[2 * k + 1]);
    } else {
      FUZZ_CHECK(std::memcmp(before, hb.rawValue, sizeof before) == 0);  // the last good readings
    }
    if (hb.portState != 1) FUZZ_CHECK(!hb.dataValid);

    const bool ljReads = lj.portState == 1;
    const bool wasValid = lj.dataValid;
    const int32_t level = lj.level, volume = lj.volume;
    if (ljReads) Send(t, ljSide, 1, bytes, n);
    const int32_t changed = lj.do_EverySecond();
    if (ljReads && n == 12) {
      FUZZ_CHECK(lj.dataValid);
      FUZZ_CHECK(lj.tankId == bytes[0] + bytes[1] * 256 && lj.percent == bytes[8]);
      FUZZ_CHECK(lj.level == bytes[4] + bytes[5] * 256 && lj.volume == bytes[6] + bytes[7] * 256);
      if (!wasValid || level != lj.level || volume != lj.volume) FUZZ_CHECK(changed == 1);
    } else {
      FUZZ_CHECK(changed == 0);
    }
    if (lj.portState != 1) FUZZ_CHECK(!lj.dataValid);
    FUZZ_CHECK(t.com.ComInQueue(0) == 0 && t.com.ComInQueue(1) == 0);

    std::string fast;
    hb.do_WriteFastXml(fast);
    FUZZ_CHECK(fast.size() < 400);
    std::string slow;
    lj.do_WriteSlowXml(slow);
    FUZZ_CHECK(slow.size() < 300);

    // Ten silent or garbled polls give a port up; the terminals stay, so
    // the supervision brings it back.
    if (hb.portState != 1 || lj.portState != 1) {
      SuperviseComPorts(t);
      FUZZ_CHECK(hb.portState == 1 && lj.portState == 1);
    }
  }
  CloseAllDevicePorts(t);
  ComCloseAll(t);
  return 0;
}
