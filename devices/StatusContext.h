#pragma once

#include <cstdint>
#include <string>

class DeviceContext;
class DeviceTable;
class OutputTable;

// What the status files show.
struct StatusContext {
  const DeviceContext& context;
  const DeviceTable& devices;
  const OutputTable& outputs;
  const int32_t& SlowId;           // counts the slow file's rewrites
  const std::string& MessageList;  // the log's tail
};
