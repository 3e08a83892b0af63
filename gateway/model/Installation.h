#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "gateway/model/State.h"
#include "protocol/DeviceKind.h"

// What ./Tessaro.ini says that the status files do not: the devices' kinds,
// and the channels' names, devices and control files. Read with the
// server's own look-up and control file parser, so both see the same.
class FileSystem;

struct ChannelConfig {
  int device = -1;
  int output = -1;
  std::string name;         // UTF-8; the server's default name when none is given
  std::string controlFile;  // as written in the configuration (UTF-8)
  std::vector<ProgramPoint> program;  // read from the control file
};

struct Installation {
  std::array<std::string, 16> deviceTypes;  // "" for an empty slot
  std::array<std::optional<ChannelConfig>, 32> channels;

  // The slots of the devices of one kind, in slot order: the order in which
  // the status files list them.
  std::vector<int> devicesOf(DeviceKind kind) const;
  // "dev1 netio230b", or "dev1" when the slot is empty.
  std::string deviceLabel(int dev) const;
};

// The installation in working directory dir ("" or "." for the process's
// own), with the programmes of the channels' control files. A missing file
// gives an installation without devices and channels, a missing control
// file an empty programme.
Installation ReadInstallation(FileSystem& files, const std::string& dir);

// The weekly programme of a control file's text, folded into one week.
std::vector<ProgramPoint> ReadProgram(std::string_view controlFileText);
