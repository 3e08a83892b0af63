#pragma once

#include "devices/TessaroDev.h"
#include "platform/FtdiAdapter.h"

// The eight-relay board on USB: relay n hangs on data pin n of an FTDI chip
// driven in synchronous bit-bang mode, so the low byte of the output image is
// the board's whole state. The board is opened once at construction and
// never again; a board that failed then stays unusable until a restart, and
// every write meanwhile fails. Nothing is read back.
class Denkovi_Relais final : public TessaroDev {
 public:
  // Lists the FTDI devices on the console and opens device 0, whichever it
  // is, for bit-bang output on all eight pins.
  Denkovi_Relais(const DeviceContext& t, int32_t index);

  // Puts the low 8 bits of outputBits on the board (bits 8 ... 31 are not
  // outputs of this device); always 0.
  int32_t do_WriteAllPortBits() override;

  FtHandle ftHandle = nullptr;  // empty when the open failed

 private:
  FtdiAdapter& ftdi() const;
};
