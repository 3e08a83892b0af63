#pragma once

#include <cstddef>
#include <cstdint>

#include "devices/TessaroDev.h"
#include "drivers/serial/PortContext.h"

class ComPortTable;

// The values of one LevelJet frame, each a little-endian unsigned field.
struct LevelJetFrame {
  int32_t tankId = 0;
  int32_t distance = 0;  // tenths of the displayed unit
  int32_t level = 0;     // tenths of the displayed unit
  int32_t volume = 0;    // units of 10 litres
  int32_t percent = 0;
};

// Decodes a frame: exactly 12 bytes, bytes 9 ... 11 unused; false for any
// other length. There is no marker or checksum, and any tank id is taken.
bool ParseLevelJetFrame(const uint8_t* bytes, size_t count, LevelJetFrame& frame);

// Tank level sensor that sends frames on a serial port by itself. Each
// second the poll takes what has arrived and accepts exactly one frame; it
// never sends. Failures set portState -1 for the port supervision to repair.
class LevelJet final : public TessaroDev {
 public:
  LevelJet(const PortContext& ports, int32_t index);

  // 1 when the frame just read changed dataValid or a value, else 0.
  int32_t do_EverySecond() override;
  int32_t do_EveryMinute() override { return 0; }
  // The tank element; written valid or not, with the last good values.
  void do_WriteSlowXml(std::string& file) override;

  bool dataValid = false;
  int32_t tankId = 0;
  int32_t distance = 0;
  int32_t level = 0;
  int32_t volume = 0;
  int32_t percent = 0;

 private:
  ComPortTable& com_;
};
