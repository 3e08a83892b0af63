// The climate logger's data file: KlimaLoggPro::do_EveryMinute over a data
// file with the input as its content, read at three minute ticks in a row
// (fresh, then stale), and the klp element after each. Every input starts
// with a fresh device.

#include <algorithm>
#include <cstdint>
#include <string>

#include "core/Tessaro.h"
#include "drivers/net/KlimaLoggPro.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TestInstallation& inst = SharedInstallation();
  static Tessaro t(inst.clock, inst.console, inst.files(), inst.dir());
  static const bool once = [&] {
    inst.writeIni("[Files]\ndev4=./klimalogg.dat\n");
    return true;
  }();
  (void)once;
  inst.clock.set(FuzzNow());
  inst.console.take();
  t.readClock();
  inst.writeFile("klimalogg.dat", std::string(AsText(data, size)));

  KlimaLoggPro klp(t, 4);
  FUZZ_CHECK(klp.dataFile == "./klimalogg.dat");
  for (int minute = 0; minute < 3; ++minute) {
    const int32_t changed = klp.do_EveryMinute();
    FUZZ_CHECK(changed == 0 || changed == 1);
    if (minute == 0) FUZZ_CHECK(changed == 1);    // the start value lies an hour ahead
    if (minute == 2) FUZZ_CHECK(!klp.dataValid);  // the same update time three times
    for (int i = 0; i < KlimaLoggPro::kChannels; ++i) {
      for (const std::string* v : {&klp.temperature[i], &klp.humidity[i]}) {
        FUZZ_CHECK(!v->empty() && v->size() < KlimaLoggPro::kValueSize);
      }
    }
    std::string slow;
    klp.do_WriteSlowXml(slow);
    // In a slow file of its own, declared as the server declares it.
    CheckWellFormed("<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n<slow>\n" + slow +
                    "</slow>\n");
    FUZZ_CHECK(std::count(slow.begin(), slow.end(), '\n') == 22);
  }
  return 0;
}
