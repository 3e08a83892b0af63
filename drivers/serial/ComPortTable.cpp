#include "drivers/serial/ComPortTable.h"

#include <algorithm>

namespace {

constexpr int32_t kMaxProbe = 9;  // the probe names ports by one digit

// Framing codes as the devices carry them; false for a code the port cannot
// take (a parity code outside 0 ... 4, a rate that is not positive).
bool SettingsOf(int32_t baudRate, int32_t parity, int32_t stopBits, int32_t dataBits,
                SerialSettings& s) {
  if (baudRate <= 0 || parity < 0 || parity > 4) return false;
  constexpr Parity kParity[] = {Parity::None, Parity::Even, Parity::Odd, Parity::Space,
                                Parity::Mark};
  s.baudRate = baudRate;
  s.parity = kParity[parity];
  // One and a half stop bits do not exist here; two is the nearer framing.
  s.stopBits = ((stopBits & 3) == 1 || (stopBits & 3) == 2) ? 2 : 1;
  if (dataBits == 7) dataBits = 0;
  s.dataBits = dataBits != 0 ? 8 : 7;
  // Roughly the time of one character at the rate (12 bit times, rounded
  // up), and one more for the call: 1 ms and 2 ms at 19200 baud.
  s.writeMsPerByte = 12000 / baudRate + 1;
  s.writeMsConstant = s.writeMsPerByte + 1;
  return true;
}

}  // namespace

ComPortTable::ComPortTable() : pathOf_(DefaultPath) {}

std::string ComPortTable::DefaultPath(int32_t comNumber) {
  return "/dev/ttyS" + std::to_string(comNumber - 1);
}

int32_t ComPortTable::ComInit(PathOf pathOf) {
  pathOf_ = pathOf ? std::move(pathOf) : PathOf(DefaultPath);
  return 1;
}

SerialPort* ComPortTable::openPort(uint32_t port) {
  if (port >= kSize || !ports_[port].isOpen()) return nullptr;
  return &ports_[port];
}

bool ComPortTable::ComOpen(uint32_t port, int32_t baudRate, int32_t parity, int32_t stopBits,
                           int32_t dataBits) {
  if (port >= kSize || ports_[port].isOpen()) return false;
  SerialPort& p = ports_[port];
  if (!p.open(pathOf_(static_cast<int32_t>(port) + 1)).ok()) return false;
  SerialSettings s;
  if (!SettingsOf(baudRate, parity, stopBits, dataBits, s) || !p.configure(s).ok()) {
    p.close();
    return false;
  }
  return true;
}

int32_t ComPortTable::ComClose(uint32_t port) {
  SerialPort* p = openPort(port);
  if (p == nullptr) return 0;
  p->close();
  return 1;
}

int32_t ComPortTable::ComCloseAll() {
  for (uint32_t i = 0; i < kSize; ++i) ComClose(i);
  return 1;
}

int32_t ComPortTable::ComRead(uint32_t port, void* buffer, int32_t max) {
  SerialPort* p = openPort(port);
  if (p == nullptr || max <= 0) return 0;
  return static_cast<int32_t>(p->read(buffer, static_cast<size_t>(max)).count);
}

int32_t ComPortTable::ComWrite(uint32_t port, const void* bytes, int32_t count) {
  SerialPort* p = openPort(port);
  if (p == nullptr || count <= 0) return 0;
  return static_cast<int32_t>(p->write(bytes, static_cast<size_t>(count)).count);
}

int32_t ComPortTable::ComReadByte(uint32_t port) {
  SerialPort* p = openPort(port);
  if (p == nullptr) return -1;
  uint8_t byte = 0;
  const SerialTransfer r = p->read(&byte, 1);
  return (r.error.ok() && r.count == 1) ? byte : -1;
}

int32_t ComPortTable::ComWriteByte(uint32_t port, uint8_t byte) {
  return ComWrite(port, &byte, 1);
}

int32_t ComPortTable::ComInQueue(uint32_t port) {
  SerialPort* p = openPort(port);
  return p == nullptr ? 0 : static_cast<int32_t>(p->inQueue().count);
}

int32_t ComPortTable::ComOutQueue(uint32_t port) {
  SerialPort* p = openPort(port);
  return p == nullptr ? 0 : static_cast<int32_t>(p->outQueue().count);
}

int32_t ComPortTable::ComProbe(int32_t* count, int32_t* states, int32_t n) {
  for (int32_t i = 0; i < std::min(n, kMaxProbe); ++i) {
    if (ports_[static_cast<size_t>(i)].isOpen()) {
      states[i] = 1;
    } else {
      SerialPort probe;
      const SerialError e = probe.open(pathOf_(i + 1));
      states[i] = e.ok() ? 1 : e.notFound() ? 0 : 2;
    }
    if (states[i] != 0) ++*count;
  }
  return 0;
}
