#pragma once

#include <cstdint>
#include <string>

class DeviceContext;

// IPv4 address and port of a networked device, both in host byte order.
struct NetAddress {
  uint32_t address = 0;
  uint16_t port = 0;
};

// Base of every attached device. The loop, the output channels and the
// status files reach a device only through the five do_ operations and the
// accessors below; each subclass constructor takes its device index.
class TessaroDev {
 public:
  explicit TessaroDev(const DeviceContext& t) : t(t) {}
  virtual ~TessaroDev() = default;
  TessaroDev(const TessaroDev&) = delete;
  TessaroDev& operator=(const TessaroDev&) = delete;

  // Once a second / once a minute; nonzero: the device's slow data changed.
  virtual int32_t do_EverySecond() { return 0; }
  virtual int32_t do_EveryMinute() { return 0; }
  // Append the device's fragment to the status file being written.
  virtual void do_WriteFastXml(std::string& /*file*/) {}
  virtual void do_WriteSlowXml(std::string& /*file*/) {}
  // Transfers the whole output image. Every version clears outputsChanged;
  // devices with outputs set outputsValid to the transfer's success.
  virtual int32_t do_WriteAllPortBits() {
    outputsChanged = false;
    return 0;
  }

  const char* getName() const { return devName.c_str(); }
  int32_t getNumOutputs() const { return numOutputs; }
  bool isValid() const { return outputsValid; }
  bool hasChanged() const { return outputsChanged; }
  // n is 0 ... 31.
  int getOutputBit(int n) const { return (outputBits >> (n & 31)) & 1u; }
  // Sets outputsChanged only when the bit really changes.
  int setOutputBit(int n, int on);

  int32_t devIndex = -1;
  std::string devName = "undef";  // at most 31 characters
  int32_t numOutputs = 0;
  bool outputsValid = false;
  uint32_t outputBits = 0;
  bool outputsChanged = true;  // so the first write pass reports a change
  // Serial port: index = COM number - 1, negative for none; codes as the
  // serial port layer reads them.
  int32_t comPort = -1;
  int32_t baudRate = 9600;
  int32_t dataBits = 1;
  int32_t parity = 0;
  int32_t stopBits = 0;
  int32_t portState = 2;  // 2 never opened, 1 open, 0 closed, -1 timed out, -2 failed
  int32_t prevPortState = 2;
  int32_t errorCount = -1;
  NetAddress netAddress;

 protected:
  const DeviceContext& t;
};
