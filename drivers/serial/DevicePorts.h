#pragma once

#include <cstdint>

#include "drivers/serial/PortContext.h"

class DeviceContext;
class TessaroDev;

// The serial ports of the devices: opened at start, supervised once a
// minute, closed at the end. A device has a port when its comPort is 0 or
// more; its portState is the hand-over between the drivers (which set -1 or
// -2 and then leave the port alone) and this layer (which sets 1, 0, -2).

// Gives the port table its device paths: COM n is key "COM<n>" of section
// COM-Devices (read at every open), else /dev/ttyS<n-1>. Always 1.
int ComInit(const PortContext& p);
void OpenAllDevicePorts(const PortContext& p);
// Re-opens every failed port; when an HB628 has failed, closes the ports of
// all HB628s and then re-opens them all. The last step of the minute tick.
void SuperviseComPorts(const PortContext& p);
void CloseAllDevicePorts(const PortContext& p);
int ComCloseAll(const PortContext& p);

// Opens the port of device dev with its serial settings: portState 1 or -2
// and a console line. -1 for an empty slot, else 0.
int32_t OpenDevicePort(const PortContext& p, int32_t dev);
// Closes the port of device dev unless its portState is already 0, and sets
// 0. -1 for an empty slot, else 0.
int32_t CloseDevicePort(const PortContext& p, int32_t dev);

// The port index named by a COM-Ports value ("COM3" gives 2): "COM" in upper
// case and a number read leniently; -1 (or any negative index) for none.
int32_t ParseComPort(const char* text);

// Reads the device's key of section COM-Ports into comPort and prints
// "   COM%d\n"; done by the constructors of the devices with a port, after
// they have set their serial settings.
void ReadComPortConfig(const DeviceContext& t, TessaroDev& device);
