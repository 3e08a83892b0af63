#pragma once

// The process-wide table of open serial ports (placeholder until the serial
// port layer lands).
class ComPortTable {};
