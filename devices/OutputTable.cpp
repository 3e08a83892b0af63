#include "devices/OutputTable.h"

#include "core/Tessaro.h"

// Placeholder until the output channels land.
void LoadOutputs(Tessaro&) {}
int32_t SetOutputMode(Tessaro&, int32_t, int32_t, int32_t&) { return -1; }
int32_t StartOutputTimer(Tessaro&, int32_t, int32_t, int32_t) { return -1; }
int32_t CountDownTimers(Tessaro&) { return 0; }
bool WriteAllOutputs(Tessaro& t) {
  bool changed = false;
  t.devices.forEach([&](TessaroDev& d) {
    if (d.hasChanged()) changed = true;
    d.do_WriteAllPortBits();
  });
  return changed;
}
bool AnyMasterOn(Tessaro&, int32_t) { return false; }
int32_t ParseOutputMode(const char*) { return -1; }
const char* OutputModeName(int32_t) { return "?"; }
const char* OutputName(Tessaro&, int32_t) { return "?"; }
