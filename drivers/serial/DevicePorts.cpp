#include "drivers/serial/DevicePorts.h"

// Placeholder until the serial port layer lands: no device has a port yet.
int ComInit(Tessaro&) { return 1; }
void OpenAllDevicePorts(Tessaro&) {}
void SuperviseComPorts(Tessaro&) {}
void CloseAllDevicePorts(Tessaro&) {}
int ComCloseAll(Tessaro&) { return 1; }
int32_t ParseComPort(const char*) { return -1; }
void ReadComPortConfig(Tessaro&, TessaroDev&) {}
