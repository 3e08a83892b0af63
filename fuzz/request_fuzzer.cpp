// The command port's path from received bytes to replies: request line
// assembly, ParseUrlPara and the four command handlers, over a small
// installation of one dummy_io device and a few channels (with a slave ring
// and a channel in clock mode). The input is the byte stream a client sends;
// it arrives in receives of up to 255 bytes as the main loop takes them.
// Every input starts from the same fresh state; no sockets.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "core/MainLoop.h"
#include "core/Reply.h"
#include "core/RequestLines.h"
#include "core/RequestParser.h"
#include "core/Tessaro.h"
#include "devices/DummyIO.h"
#include "devices/OutputTable.h"
#include "devices/StatusFiles.h"
#include "fuzz/FuzzSupport.h"
#include "timeswitch/TimeSwitch.h"

namespace {

constexpr size_t kReceive = 255;  // the main loop's receive size

class Client final : public RequestLines::Handler, public ReplySink {
 public:
  explicit Client(Tessaro& t) : t_(t) {}

  void onLine(std::string_view line) override {
    FUZZ_CHECK(!line.empty());
    FUZZ_CHECK(line.find('\n') == std::string_view::npos);
    const int before = replies_;
    ParseUrlPara(t_, line, *this);
    FUZZ_CHECK(replies_ == before + 1);  // exactly one reply per request
    FUZZ_CHECK(t_.eventLog.user() == nullptr);
  }
  void onTooLong() override { send("Tessaro.ParseUrlPara: zeile zu lang [>1023]\r\n"); }
  void send(std::string_view bytes) override {
    FUZZ_CHECK(!bytes.empty() && bytes.size() <= 1023);
    ++replies_;
  }

 private:
  Tessaro& t_;
  int replies_ = 0;
};

struct ChannelSetup {
  int32_t devOutput;
  int32_t mode;
  int32_t slave;
  const char* name;
  const char* controlFile;
};

// Channels 0 ... 5 and 7; slot 6 stays empty so dout_bin stops before 7.
// 0 -> 1 -> 2 -> 0 is a ring of slave links, 5 -> 0 leads into it.
constexpr ChannelSetup kChannels[] = {
    {0, MODE_AUS, 1, "Pumpe", ""},
    {1, MODE_SLAVE, 2, "Ventil", ""},
    {2, MODE_SLAVE, 0, "Brenner & <Kessel>", ""},
    {3, MODE_UHR, -1, "Boiler", "woche.txt"},
    {4, MODE_EIN, -1, "", ""},
    {5, MODE_AUS, 0, "Zirkulation", "fehlt.txt"},
};

// A pass that begins a minute, as far as the minute's work goes.
void NextMinute(Tessaro& t, TestInstallation& inst) {
  inst.clock.advance(60);
  t.readClock();
  MinuteTick(t);
}

// Channels in mode aus or ein without a running timer show their mode.
void CheckOutputBits(Tessaro& t) {
  for (int32_t ch = 0; ch < OutputTable::kSize; ++ch) {
    const DigitalOutput* out = t.outputs.get(ch);
    if (out == nullptr || out->timerMinutes != 0) continue;
    const int bit = out->device->getOutputBit(out->devOutput);
    if (out->mode == MODE_AUS) FUZZ_CHECK(bit == 0);
    if (out->mode == MODE_EIN) FUZZ_CHECK(bit == 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TestInstallation& inst = SharedInstallation();
  static const bool once = [&] {
    inst.writeFile("woche.txt",
                   "1111100 06:30 on\n1111100 22:00 off\n0000011 08:00 on\n0000011 23:00 off\n");
    return true;
  }();
  (void)once;
  inst.clock.set(FuzzNow());
  inst.console.take();
  inst.memory().remove(inst.dir() + "/logfile.txt");

  Tessaro t(inst.clock, inst.console, inst.files(), inst.dir());
  t.readClock();
  t.devices.put(0, std::make_unique<DummyIO>(t, 0));
  TessaroDev* device = t.devices.get(0);
  for (int32_t ch = 0; ch < 6; ++ch) {
    const ChannelSetup& c = kChannels[ch];
    t.outputs.put(ch, std::make_unique<DigitalOutput>(t, ch, device, c.devOutput, c.mode, c.slave,
                                                      c.name, c.controlFile));
  }
  t.outputs.put(7, std::make_unique<DigitalOutput>(t, 7, device, 31, MODE_EIN, -1, "Letzter", ""));
  t.startTimeSwitch();
  for (int32_t ch = 0; ch < OutputTable::kSize; ++ch) {
    int32_t changed = 0;
    if (t.outputs.get(ch) != nullptr) SetOutputMode(t, ch, t.outputs.get(ch)->mode, changed);
  }

  RequestLines lines;
  Client client(t);
  const char* bytes = reinterpret_cast<const char*>(data);
  for (size_t at = 0; at < size; at += kReceive) {
    lines.CollectRequestLine(bytes + at, std::min(kReceive, size - at), client);
  }
  CheckOutputBits(t);

  for (int i = 0; i < 3; ++i) NextMinute(t, inst);
  CheckOutputBits(t);
  t.eventLog.RefreshMessageList();
  CheckWellFormed(SlowXmlText(t));
  CheckWellFormed(FastXmlText(t));
  return 0;
}
