#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "devices/TessaroDev.h"

// Readings of a KlimaLogg Pro climate logger: temperature and humidity of
// channels 0 ... 8 and the time of the logger's last update. The logger is
// never contacted: another program keeps an INI data file up to date, read
// once a minute and shown as element klp of the slow status file. No
// outputs; nothing on the fast status file, nothing to do each second.
class KlimaLoggPro final : public TessaroDev {
 public:
  static constexpr int kChannels = 9;
  // The values are texts as the file writes them, in 8-byte fields: at most
  // 7 characters; longer ones are cut.
  static constexpr size_t kValueSize = 8;

  // Reads the data file's path from key "dev<index>" of section Files.
  KlimaLoggPro(const DeviceContext& t, int32_t index);

  // Reads the data file; 1 when anything element klp shows has changed.
  int32_t do_EveryMinute() override;
  void do_WriteSlowXml(std::string& file) override;

  std::string dataFile;  // relative paths are taken from the working directory
  // True while the update time keeps changing and all 18 values are there.
  bool dataValid = false;
  // Seconds since 1970 UTC; starts an hour ahead so the first read is a change.
  int64_t lastUpdate = 0;
  // Reads in a row that found lastUpdate unchanged.
  int32_t staleCount = 0;
  // Channels 0 ... 8: the text as read, or "ERR" when it is missing.
  std::array<std::string, kChannels> temperature;
  std::array<std::string, kChannels> humidity;
};
