#pragma once

#include <cstddef>
#include <cstdint>

#include "devices/TessaroDev.h"
#include "drivers/serial/PortContext.h"

class ComPortTable;

// The eight channel counts of an HB628 answer: exactly 17 bytes, channel k
// (1 ... 8) big-endian in bytes 2k-2 and 2k-1, byte 16 unused. False for any
// other length; there is nothing else to check.
bool ParseHB628Answer(const uint8_t* bytes, size_t count, int32_t (&channels)[8]);

// Eight-channel analog input module on a serial port. Each second the poll
// reads the answer to the request sent a second before and sends the next
// "c09"; failures set portState (-1 time-out, -2 write error) for the port
// supervision to repair, which restarts all HB628 ports together.
class HB628 final : public TessaroDev {
 public:
  HB628(const PortContext& ports, int32_t index);

  // Always 0: the readings only appear in the fast status file.
  int32_t do_EverySecond() override;
  int32_t do_EveryMinute() override { return 0; }
  // The AI element; written valid or not, with the last good readings.
  void do_WriteFastXml(std::string& file) override;

  bool dataValid = false;
  int32_t rawValue[8] = {};  // last good counts (0 ... 65535); shown / 1000
  // Failed request writes left before the port is given up. Only a
  // complete write restores it, not the supervision's restart.
  int32_t writeRetries = 2;

 private:
  ComPortTable& com_;
};
