#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Why a serial port operation stopped: the system call that failed and its
// errno. The one place that keeps the operating system's error context.
struct SerialError {
  const char* call = nullptr;  // null: no error
  int code = 0;                // errno of that call

  bool ok() const { return call == nullptr; }
  // The path names nothing (ENOENT): a port that does not exist.
  bool notFound() const;
};

// Bytes moved by a read or a write, and the error that ended it early.
struct SerialTransfer {
  size_t count = 0;
  SerialError error;
};

enum class Parity { None, Even, Odd, Space, Mark };

// Framing and write time-out of an open port.
struct SerialSettings {
  int32_t baudRate = 9600;  // one of the standard termios rates, else EINVAL
  int32_t dataBits = 8;     // 7 or 8
  Parity parity = Parity::None;
  int32_t stopBits = 1;  // 1 or 2
  // A write gives up after writeMsPerByte * count + writeMsConstant ms.
  int64_t writeMsPerByte = 0;
  int64_t writeMsConstant = 0;
};

// One serial device opened for exclusive use: raw bytes, reads that never
// wait, writes bounded by the settings' time-out. Closed when the object goes.
class SerialPort {
 public:
  SerialPort() = default;
  ~SerialPort() { close(); }
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens path read/write, non-blocking, without making it the controlling
  // terminal, and claims it exclusively (further opens by others fail).
  // REQUIRES: not open.
  SerialError open(const std::string& path);
  // Raw mode with the framing of s, DTR and RTS asserted, no flow control,
  // reads returning at once. A device without modem lines is accepted.
  // REQUIRES: open.
  SerialError configure(const SerialSettings& s);
  bool isOpen() const { return fd_ >= 0; }
  // Gives up the exclusive claim and closes; harmless when not open.
  void close();

  // What has arrived, at most max bytes; never waits.
  SerialTransfer read(void* buffer, size_t max);
  // Writes count bytes, waiting for room at most as long as the settings'
  // time-out allows; the count is what the driver took by then.
  SerialTransfer write(const void* bytes, size_t count);
  // Bytes waiting in the driver's receive / send queue.
  SerialTransfer inQueue() const;
  SerialTransfer outQueue() const;

 private:
  int fd_ = -1;
  int64_t writeMsPerByte_ = 0;
  int64_t writeMsConstant_ = 0;
};
