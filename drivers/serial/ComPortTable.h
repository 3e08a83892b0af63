#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/SerialPort.h"

// The process-wide table of open serial ports. Entry i belongs to the port
// with COM number i + 1 (the port index); it is filled only by ComOpen and
// emptied only by ComClose, and it is the only owner of the ports. Every
// operation takes the port index unsigned: 256 or more, which includes every
// negative index, is a port that is not open. Nothing here waits for a
// device: reads return what has arrived, writes are bounded by a time-out.
class ComPortTable {
 public:
  static constexpr uint32_t kSize = 256;
  // The device path of a COM number (1 ... 256).
  using PathOf = std::function<std::string(int32_t comNumber)>;

  // Until ComInit says otherwise, COM n is /dev/ttyS(n - 1).
  ComPortTable();
  static std::string DefaultPath(int32_t comNumber);

  // Takes the look-up of the device paths; always 1.
  int32_t ComInit(PathOf pathOf);

  // Opens the port with the framing codes (parity 0 none, 1 even, 2 odd,
  // 3 space, 4 mark; stop bits code & 3: 0 or 3 one, 1 one and a half, taken
  // as two, 2 two; data bits 0 or 7 seven, else eight). False when the index
  // is out of range, the entry is already open (the open port is left as it
  // is) or any step fails.
  bool ComOpen(uint32_t port, int32_t baudRate, int32_t parity, int32_t stopBits, int32_t dataBits);
  // 1 if an open port was closed, else 0.
  int32_t ComClose(uint32_t port);
  // Closes every open entry in ascending order; always 1.
  int32_t ComCloseAll();

  // Bytes placed in buffer (0 ... max); 0 when not open or on failure.
  int32_t ComRead(uint32_t port, void* buffer, int32_t max);
  // Bytes the driver took within the write time-out; 0 when not open or on
  // failure. Not retried here.
  int32_t ComWrite(uint32_t port, const void* bytes, int32_t count);
  // The next received byte (0 ... 255), or -1 when none is waiting, the port
  // is not open or the read fails.
  int32_t ComReadByte(uint32_t port);
  // 1 when the byte was written, else 0.
  int32_t ComWriteByte(uint32_t port, uint8_t byte);
  // Bytes waiting in the receive / send queue; 0 when not open or on failure.
  int32_t ComInQueue(uint32_t port);
  int32_t ComOutQueue(uint32_t port);

  // For i = 0 ... n - 1, at most 9 (COM1 ... COM9): states[i] = 1 for a port
  // that is open here or can be opened, 0 for one that does not exist, 2 for
  // one that exists but cannot be opened (in use elsewhere, not a terminal).
  // *count grows by one for every state other than 0; it is never reset.
  // Entries of states from 9 on are left as they are. Result: 0.
  int32_t ComProbe(int32_t* count, int32_t* states, int32_t n);

 private:
  // The open port of an entry, or null.
  SerialPort* openPort(uint32_t port);

  std::array<SerialPort, kSize> ports_;
  PathOf pathOf_;
};
