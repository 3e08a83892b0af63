#include "drivers/net/KlimaLoggPro.h"

#include <ctime>

#include "base/Text.h"
#include "devices/DeviceContext.h"
#include "devices/ProfileString.h"
#include "platform/Clock.h"
#include "platform/Console.h"

namespace {

constexpr char kDefaultDataFile[] = "./KlimaLogg.dat1";

// Update times above this count from the logger's own epoch: 2208988734
// seconds before 1970, which is the logger's offset and deliberately not the
// 2208988800 seconds from 1900 to 1970.
constexpr int64_t kLoggerEpochThreshold = 3000000000;
constexpr int64_t kLoggerEpochOffset = 2208988734;

// Reads one value into its field; a missing or empty value becomes "ERR" and
// clears valid. True when the field now differs from what it held.
bool readValue(FileSystem& files, const std::string& path, const std::string& section,
               const char* key, std::string& field, bool& valid) {
  const std::string old_val = field;
  field = GetPrivateProfileString(files, section, key, nullptr, KlimaLoggPro::kValueSize, path);
  if (field.empty()) {
    field = "ERR";
    valid = false;
  }
  return field != old_val;
}

// "%d.%m.%Y %H:%M:%S" in local time. Empty for a time before 1970 or beyond
// the range of local time: such an update time is garbage in the data file,
// and an empty element says so more plainly than any date would.
std::string localTimeText(int64_t time) {
  if (time < 0) return "";
  const std::tm local = Clock::toLocal(time);
  // toLocal gives the year 1900 only when it has no local time for time.
  if (local.tm_year == 0) return "";
  char text[256];
  const size_t n = std::strftime(text, sizeof text, "%d.%m.%Y %H:%M:%S", &local);
  return std::string(text, n);
}

}  // namespace

KlimaLoggPro::KlimaLoggPro(const DeviceContext& t, int32_t index) : TessaroDev(t) {
  devIndex = index;
  devName = "KlimaLoggPro";
  lastUpdate = t.clock.now() + 3600;
  staleCount = 0;
  dataValid = false;
  dataFile = t.config("Files", "dev" + std::to_string(index), 32, kDefaultDataFile);
  if (dataFile.empty()) dataFile = kDefaultDataFile;
  t.console.printf("   %s\n", dataFile.c_str());
}

int32_t KlimaLoggPro::do_EveryMinute() {
  bool changed = false;
  const int64_t oldUpdate = lastUpdate;
  const bool oldValid = dataValid;
  dataValid = true;
  const std::string path = t.path(dataFile);

  const std::string pval =
      GetPrivateProfileString(t.files, "time", "last_actualisation", nullptr, 32, path);
  if (!pval.empty()) {
    lastUpdate = parseInt64(pval);
    if (lastUpdate > kLoggerEpochThreshold) lastUpdate -= kLoggerEpochOffset;
  } else {
    t.console.printf("\n>>>>>>>>>>>> GetPrivateProfileString FAILED <<<<<<<<<<<<<<<<<<<\n");
    dataValid = false;
    lastUpdate = 0;
  }

  if (lastUpdate != oldUpdate) {
    changed = true;
    staleCount = 0;
  } else if (++staleCount >= 2) {
    dataValid = false;
  }

  for (int i = 0; i < kChannels; ++i) {
    const std::string n = std::to_string(i);
    if (readValue(t.files, path, "temperature_channel_" + n, "deg_C", temperature[i], dataValid)) {
      changed = true;
    }
    if (readValue(t.files, path, "humidity_channel_" + n, "percent", humidity[i], dataValid)) {
      changed = true;
    }
  }

  if (dataValid != oldValid) changed = true;
  return changed ? 1 : 0;
}

void KlimaLoggPro::do_WriteSlowXml(std::string& file) {
  appendf(file, "   <klp>\n      <valid>%d</valid>\n      <last>%s</last>\n", dataValid ? 1 : 0,
          localTimeText(lastUpdate).c_str());
  for (const std::string& value : temperature) {
    appendf(file, "      <tmp>%s</tmp>\n", xmlEscape(value).c_str());
  }
  for (const std::string& value : humidity) {
    appendf(file, "      <hum>%s</hum>\n", xmlEscape(value).c_str());
  }
  appendf(file, "   </klp>\n");
}
