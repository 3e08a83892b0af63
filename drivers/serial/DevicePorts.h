#pragma once

class Tessaro;

// The serial ports of the devices: opened at start, supervised once a
// minute, closed at the end.
int ComInit(Tessaro& t);
void OpenAllDevicePorts(Tessaro& t);
void SuperviseComPorts(Tessaro& t);
void CloseAllDevicePorts(Tessaro& t);
int ComCloseAll(Tessaro& t);
