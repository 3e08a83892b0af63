#pragma once

class ComPortTable;
class DeviceContext;
class DeviceTable;

// What the serial drivers and the port supervision work on: the devices'
// context, the table of open ports and the devices that own them.
struct PortContext {
  const DeviceContext& context;
  ComPortTable& com;
  DeviceTable& devices;
};
