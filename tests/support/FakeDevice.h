#pragma once

#include <cstdint>
#include <string>

#include "base/Text.h"
#include "devices/TessaroDev.h"

// A device without hardware for tests: it counts its calls, adds "<fN/>" and
// "<sN/>" (N its index) to the status files, and its writes fail on command.
class FakeDevice final : public TessaroDev {
 public:
  FakeDevice(const DeviceContext& t, int32_t index, int32_t outputs = 0) : TessaroDev(t) {
    devIndex = index;
    numOutputs = outputs;
  }
  int32_t do_EverySecond() override { ++seconds; return 0; }
  int32_t do_EveryMinute() override { ++minutes; return 0; }
  void do_WriteFastXml(std::string& file) override { appendf(file, "   <f%d/>\n", devIndex); }
  void do_WriteSlowXml(std::string& file) override { appendf(file, "   <s%d/>\n", devIndex); }
  int32_t do_WriteAllPortBits() override {
    ++writes;
    outputsChanged = false;
    outputsValid = !failWrites;
    return failWrites ? -1 : 0;
  }

  int seconds = 0;
  int minutes = 0;
  int writes = 0;
  bool failWrites = false;
};
