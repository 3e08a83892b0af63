#include "drivers/serial/DevicePorts.h"

#include <climits>
#include <cstring>
#include <string>

#include "base/Text.h"
#include "devices/DeviceContext.h"
#include "devices/DeviceTable.h"
#include "drivers/serial/ComPortTable.h"
#include "platform/Console.h"

namespace {

bool HasPort(const TessaroDev& d) {
  return d.comPort >= 0;
}

// The supervision restarts these together: one failed module takes all down.
bool IsHB628(const TessaroDev& d) {
  return d.devName == "HB628";
}

}  // namespace

int ComInit(const PortContext& p) {
  return p.com.ComInit([&p](int32_t comNumber) {
    const std::string path =
        p.context.config("COM-Devices", formatCut(31, "COM%d", comNumber), 256);
    return path.empty() ? ComPortTable::DefaultPath(comNumber) : p.context.path(path);
  });
}

int ComCloseAll(const PortContext& p) {
  return p.com.ComCloseAll();
}

int32_t ParseComPort(const char* text) {
  if (text == nullptr || std::strlen(text) <= 3 || std::strncmp(text, "COM", 3) != 0) return -1;
  const int32_t number = parseInt(text + 3);
  return number == INT32_MIN ? INT32_MIN : number - 1;
}

void ReadComPortConfig(const DeviceContext& t, TessaroDev& device) {
  const std::string value = t.config("COM-Ports", formatCut(31, "dev%d", device.devIndex), 32);
  device.comPort = ParseComPort(value.c_str());
  t.console.printf("   COM%d\n", device.comPort + 1);
}

int32_t OpenDevicePort(const PortContext& p, int32_t dev) {
  TessaroDev* d = p.devices.get(dev);
  if (d == nullptr) return -1;
  if (p.com.ComOpen(static_cast<uint32_t>(d->comPort), d->baudRate, d->parity, d->stopBits,
                    d->dataBits)) {
    d->portState = 1;
    p.context.console.printf("dev%d: COM%d erfolgreich geoeffnet !\n", dev, d->comPort + 1);
  } else {
    d->portState = -2;
    p.context.console.printf("dev%d: COM%d kann nicht geoeffnet werden !\n", dev, d->comPort + 1);
  }
  return 0;
}

int32_t CloseDevicePort(const PortContext& p, int32_t dev) {
  TessaroDev* d = p.devices.get(dev);
  if (d == nullptr) return -1;
  if (d->portState != 0) {
    p.com.ComClose(static_cast<uint32_t>(d->comPort));
    d->portState = 0;
  }
  return 0;
}

void OpenAllDevicePorts(const PortContext& p) {
  for (int32_t i = 0; i < DeviceTable::kSize; ++i) {
    const TessaroDev* d = p.devices.get(i);
    if (d != nullptr && HasPort(*d)) OpenDevicePort(p, i);
  }
}

void CloseAllDevicePorts(const PortContext& p) {
  for (int32_t i = 0; i < DeviceTable::kSize; ++i) {
    const TessaroDev* d = p.devices.get(i);
    if (d != nullptr && HasPort(*d)) CloseDevicePort(p, i);
  }
}

// Two devices naming one port share its table entry: re-opening the second
// one closes the entry under the first, which then reads through the
// re-opened entry as well.
void SuperviseComPorts(const PortContext& p) {
  bool hb628Failed = false;
  for (int32_t i = 0; i < DeviceTable::kSize; ++i) {
    TessaroDev* d = p.devices.get(i);
    if (d == nullptr || !HasPort(*d) || d->portState == 1) continue;
    if (IsHB628(*d)) {
      hb628Failed = true;
      continue;
    }
    d->prevPortState = d->portState;
    CloseDevicePort(p, i);
    OpenDevicePort(p, i);
    d->errorCount = 0;
    p.context.console.printf("COM-Port re-open (dev%d): %d --> %d\n", i, d->prevPortState,
                             d->portState);
    p.context.log.LogEvent(-1, "COM-Port re-open (dev%d): %d --> %d", i, d->prevPortState,
                           d->portState);
  }
  if (!hb628Failed) return;

  // All closed before any re-opens, so no module meets another's port held.
  for (int32_t i = 0; i < DeviceTable::kSize; ++i) {
    TessaroDev* d = p.devices.get(i);
    if (d == nullptr || !HasPort(*d) || !IsHB628(*d)) continue;
    d->prevPortState = d->portState;
    CloseDevicePort(p, i);
  }
  for (int32_t i = 0; i < DeviceTable::kSize; ++i) {
    TessaroDev* d = p.devices.get(i);
    if (d == nullptr || !HasPort(*d) || !IsHB628(*d)) continue;
    OpenDevicePort(p, i);
    d->errorCount = 0;
  }
  // An HB628 without a port keeps its states 2 and 2 and is reported too.
  for (int32_t i = 0; i < DeviceTable::kSize; ++i) {
    const TessaroDev* d = p.devices.get(i);
    if (d == nullptr || !IsHB628(*d)) continue;
    if (d->prevPortState == 1 && d->portState == 1) continue;
    p.context.console.printf("HB628 Treiber Restart (dev%d): %d --> %d\n", i, d->prevPortState,
                             d->portState);
    p.context.log.LogEvent(-1, "HB628 Treiber Restart (dev%d): %d --> %d", i, d->prevPortState,
                           d->portState);
  }
}
