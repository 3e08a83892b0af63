// LoadConfig on arbitrary INI text: the devices of section Devices with
// their own settings (COM-Ports, TCP/IP, Files) and the channels of section
// Digital_Outputs, then every channel through every mode and a timer, the
// write pass and both status file texts. Output to hardware is disabled
// (no sockets), the relay board gets a fake FTDI library, and no file the
// configuration names is opened: a fuzzed path could be a device that never
// ends.

#include <cstdint>
#include <string>

#include "core/LoadConfig.h"
#include "core/Tessaro.h"
#include "devices/OutputTable.h"
#include "devices/StatusFiles.h"
#include "fuzz/FuzzSupport.h"
#include "tests/support/FakeFtdiAdapter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TestInstallation& inst = SharedInstallation();
  inst.clock.set(FuzzNow());
  inst.console.take();
  inst.writeIni(std::string(AsText(data, size)));

  FakeFtdiAdapter ftdi;
  ftdi.devices.push_back(FakeFtdiAdapter::Device(0x04036001, 0x21, "DAE001", "FT245R USB FIFO"));
  Tessaro t(inst.clock, inst.console, inst.files(), inst.dir());
  t.ftdi = &ftdi;
  t.readClock();
  LoadConfig(t);
  t.EnableOutput = false;

  for (int32_t ch = 0; ch < OutputTable::kSize; ++ch) {
    const DigitalOutput* out = t.outputs.get(ch);
    if (out == nullptr) continue;
    FUZZ_CHECK(out->device != nullptr);
    FUZZ_CHECK(out->devOutput >= 0 && out->devOutput < out->device->getNumOutputs());
    FUZZ_CHECK(out->slaveOut < 0 || IsAllowedSlave(ch, out->slaveOut));
    FUZZ_CHECK(out->name.size() <= kOutputTextMax && out->controlFile.size() <= kOutputTextMax);
  }
  t.devices.forEach([](TessaroDev& d) { FUZZ_CHECK(d.devName.size() <= 31); });

  // Clock mode is left out: it would open the control files named above.
  for (const int32_t mode : {MODE_EIN, MODE_SLAVE, MODE_AUS}) {
    for (int32_t ch = 0; ch < OutputTable::kSize; ++ch) {
      int32_t changed = 0;
      SetOutputMode(t, ch, mode, changed);
    }
  }
  for (int32_t ch = 0; ch < OutputTable::kSize; ++ch) StartOutputTimer(t, ch, 2, ch & 1);
  CountDownTimers(t);
  WriteAllOutputs(t);

  CheckWellFormed(SlowXmlText(t));
  CheckWellFormed(FastXmlText(t));
  return 0;
}
