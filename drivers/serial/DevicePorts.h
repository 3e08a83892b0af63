#pragma once

#include <cstdint>

class Tessaro;

// The serial ports of the devices: opened at start, supervised once a
// minute, closed at the end.
int ComInit(Tessaro& t);
void OpenAllDevicePorts(Tessaro& t);
void SuperviseComPorts(Tessaro& t);
void CloseAllDevicePorts(Tessaro& t);
int ComCloseAll(Tessaro& t);

class TessaroDev;

// The port index named by a COM-Ports value ("COM3" gives 2), or -1 for none.
int32_t ParseComPort(const char* text);

// Reads the device's key of section COM-Ports into comPort and prints
// "   COM%d\n"; done by the constructors of the devices with a port.
void ReadComPortConfig(Tessaro& t, TessaroDev& device);
