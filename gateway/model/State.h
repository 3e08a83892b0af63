#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The installation as the gateway shows it: what the status files say,
// with the names, devices and programmes of the configuration. Every text is
// UTF-8.

struct OutputState {
  int n = 0;  // channel number 0 ... 31
  std::string name;
  std::string device;  // "dev1 netio230b"
  std::string mode;    // aus, ein, uhr or slave
  bool value = false;  // the bit as the server holds it
  bool valid = false;  // the device took the last write
  int timer = 0;       // remaining minutes, 0 when none runs
  bool timerOutput = true;
  std::string info;
};

struct AnalogInputs {
  int dev = -1;  // device index; -1 when the configuration does not say
  bool valid = false;
  std::array<double, 8> ch{};  // volts
};

struct TankLevel {
  int dev = -1;
  bool valid = false;
  std::string id;
  double dist = 0, level = 0, liter = 0, percent = 0;
};

struct ClimateValues {
  int dev = -1;
  bool valid = false;
  std::string last;  // the logger's last update, "dd.mm.yyyy HH:MM:SS"
  // Channels 0 ... 8; nothing where the logger has no number ("ERR").
  std::vector<std::optional<double>> tmp, hum;
};

// A switching point of a weekly programme: day 0 is Monday.
struct ProgramPoint {
  int day = 0;
  int minute = 0;  // of the day, 0 ... 1439
  bool on = false;
};

struct WeekProgram {
  int n = 0;
  std::string name;
  std::string file;
  std::vector<ProgramPoint> points;  // in week order, alternating
};

struct State {
  bool alive = false;  // the server rewrites its status files
  int64_t slowid = 0;
  bool enaoutp = true;
  std::vector<OutputState> outputs;
  std::vector<AnalogInputs> ai;
  std::vector<TankLevel> tank;
  std::vector<ClimateValues> klp;
  std::vector<std::string> messages;  // oldest first
  std::vector<WeekProgram> programs;
};
