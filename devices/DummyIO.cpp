#include "devices/DummyIO.h"

#include "devices/DeviceContext.h"
#include "platform/Console.h"

DummyIO::DummyIO(const DeviceContext& t, int32_t index) : TessaroDev(t) {
  devIndex = index;
  devName = "Dummy IO";
  numOutputs = 32;
}

int32_t DummyIO::do_WriteAllPortBits() {
  char mask_str[33];
  for (int i = 0; i < 32; ++i) mask_str[i] = getOutputBit(31 - i) ? '1' : '0';
  mask_str[32] = '\0';
  t.console.printf("DUMMYIO: %s\n", mask_str);
  outputsChanged = false;
  outputsValid = true;
  return 0;
}
