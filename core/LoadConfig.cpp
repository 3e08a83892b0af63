#include "core/LoadConfig.h"

#include <string>

#include "core/Tessaro.h"
#include "platform/Console.h"

void LoadDevices(Tessaro& t) {
  t.console.printf("\nDEVICES:\n");
  for (int32_t i = 0; i < DeviceTable::kSize; ++i) {
    const std::string pname = "dev" + std::to_string(i);
    t.devices.put(i, nullptr);
    const std::string pval = t.config("Devices", pname, 256);
    if (pval.empty()) continue;
    t.console.printf("dev%d: %s\n", i, pval.c_str());
    t.devices.put(i, CreateDevice(t, pval, i));
    if (t.devices.get(i) == nullptr)
      t.console.printf("   unbekanntes Geraet (%s)\r\n", pval.c_str());
  }
}

void LoadConfig(Tessaro& t) {
  LoadDevices(t);
  LoadOutputs(t.channels);
}
