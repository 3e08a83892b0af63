// The whole installation for a week and a day under a fast clock: every
// device kind against its simulator, channels in mode "uhr" on several
// devices, timers through a real command client, slave channels. The loop
// runs in process so that the clock, the FTDI library and the resource
// figures are the test's; the serial devices sit on real pseudo-terminals,
// the power switch on a real loopback socket.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <initializer_list>
#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/MainLoop.h"
#include "core/Tessaro.h"
#include "drivers/serial/HB628.h"
#include "tests/support/FakeFtdiAdapter.h"
#include "tests/support/Process.h"
#include "tests/support/Pty.h"
#include "tests/support/TestInstallation.h"
#include "tools/support/NetioSwitch.h"
#include "tools/support/ProcStatus.h"

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

namespace {

constexpr int32_t kDay = 86400;
constexpr int32_t kWeek = 7 * kDay;
constexpr const char* kDayText[7] = {"Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"};

// ---------------------------------------------------------------------------
// The programmes: each line of a control file as written, and beside it what
// it means, stated apart from its text.

struct ProgLine {
  const char* text;
  const char* days;  // Monday first, "0" for a day without the point; null: no point
  int hour;
  int minute;
  bool on;
};

struct Programme {
  const char* file;
  const char* lineEnd;
  std::vector<ProgLine> lines;
};

const std::vector<Programme> kProgrammes = {
    {"heizung.txt", "\n",
     {{"; Werktage", nullptr, 0, 0, false},
      {"1111100 06:00 on", "1111100", 6, 0, true},
      {"1111100 22:00 off", "1111100", 22, 0, false},
      {"", nullptr, 0, 0, false},
      {"; Wochenende", nullptr, 0, 0, false},
      {"0000011 08:00 on", "0000011", 8, 0, true},
      {"0000011 23:00 off ; spaet", "0000011", 23, 0, false}}},
    // A point on every weekday, Monday 00:00 and Sunday 23:59 among them.
    {"woche.txt", "\r\n",
     {{"1000000 00:00 on", "1000000", 0, 0, true},
      {"1000000 07:15 off", "1000000", 7, 15, false},
      {"0100000 05:30 on", "0100000", 5, 30, true},
      {"0100000 19:45 off", "0100000", 19, 45, false},
      {"0010000 12:05 on", "0010000", 12, 5, true},
      {"0010000 12:07 off", "0010000", 12, 7, false},
      {"0001000 23:59 on", "0001000", 23, 59, true},
      {"0000100 00:01 off", "0000100", 0, 1, false},
      {"0000010 11:11 on", "0000010", 11, 11, true},
      {"0000010 11:12 off", "0000010", 11, 12, false},
      {"0000001 13:00 on", "0000001", 13, 0, true},
      {"0000001 23:59 aus", "0000001", 23, 59, false}}},
    {"licht.txt", "\n",
     {{"1111111 07:00 on", "1111111", 7, 0, true},
      {"1111111   07:30   off", "1111111", 7, 30, false},
      {"1111111 18:00 on", "1111111", 18, 0, true},
      {"1111111 23:59 off", "1111111", 23, 59, false}}},
    // Times without minutes and with seconds; every day alternating.
    {"speicher.txt", "\n",
     {{"1010101 6 on ; ungerade Tage", "1010101", 6, 0, true},
      {"1010101 20:30:59 off", "1010101", 20, 30, false},
      {"0101010 00:00 on", "0101010", 0, 0, true},
      {"0101010 12:00 off", "0101010", 12, 0, false}}},
    {"rand.txt", "\n",
     {{"; vom Montag 0 Uhr bis Sonntag 23:59, mit Pause", nullptr, 0, 0, false},
      {"0000001 23:59 off", "0000001", 23, 59, false},
      {"1000000 00:00 on", "1000000", 0, 0, true},
      {"0010000 18:00 off", "0010000", 18, 0, false},
      {"0001000 06:00 on", "0001000", 6, 0, true}}},
};

struct Point {
  int32_t time;
  bool on;
};

// The points of every programme, by index into kProgrammes.
const std::vector<Point>& ProgrammePoints(int programme) {
  static const std::vector<std::vector<Point>> all = [] {
    std::vector<std::vector<Point>> points;
    for (const Programme& p : kProgrammes) {
      std::vector<Point>& of = points.emplace_back();
      for (const ProgLine& l : p.lines) {
        for (int d = 0; l.days != nullptr && d < 7; ++d) {
          if (l.days[d] != '0') of.push_back({d * kDay + l.hour * 3600 + l.minute * 60, l.on});
        }
      }
    }
    return points;
  }();
  return all.at(static_cast<size_t>(programme));
}

// The latest point at or before weekTime (the last of equal ones) and the
// first after it, both counted cyclically.
std::pair<Point, Point> PointsAround(int programme, int32_t weekTime) {
  const auto since = [&](const Point& p) { return (weekTime - p.time + kWeek) % kWeek; };
  const auto until = [&](const Point& p) { return (p.time - weekTime + kWeek - 1) % kWeek + 1; };
  const std::vector<Point>& points = ProgrammePoints(programme);
  std::pair<Point, Point> around{points.front(), points.front()};
  for (const Point& p : points) {
    if (since(p) <= since(around.first)) around.first = p;
    if (until(p) < until(around.second)) around.second = p;
  }
  return around;
}

std::tm Utc(int64_t t) {
  const time_t tt = static_cast<time_t>(t);
  std::tm tm{};
  gmtime_r(&tt, &tm);  // the tests run with TZ=UTC
  return tm;
}

int32_t WeekTimeOf(int64_t t) {
  const std::tm tm = Utc(t);
  return (tm.tm_wday + 6) % 7 * kDay + tm.tm_hour * 3600 + tm.tm_min * 60;
}

std::string Stamp(int64_t t, const char* format) {
  const std::tm tm = Utc(t);
  char text[64];
  std::strftime(text, sizeof text, format, &tm);
  return text;
}

// ---------------------------------------------------------------------------
// The installation.

enum Dev { kDummy = 0, kNetio = 1, kHb628 = 2, kLevelJet = 3, kKlimaLogg = 4, kDenkovi = 5 };
enum class Kind { Clock, Off, Slave };

struct ChannelPlan {
  int out;
  int dev;
  int bit;
  int slave;  // the channel's slave, -1 for none
  Kind kind;
  const char* name;
  int programme;  // index into kProgrammes for Kind::Clock
};

const std::vector<ChannelPlan> kChannels = {
    {0, kDummy, 0, 2, Kind::Clock, "Heizung", 0},
    {1, kDummy, 5, -1, Kind::Clock, "Zirkulation", 1},
    {2, kDummy, 31, -1, Kind::Slave, "Sammelmeldung", -1},
    {3, kNetio, 0, 5, Kind::Clock, "Licht", 2},
    {4, kNetio, 2, -1, Kind::Clock, "Zirkulation2", 1},
    {5, kNetio, 3, -1, Kind::Slave, "Lueftung", -1},
    {6, kDenkovi, 0, 2, Kind::Clock, "Speicher", 3},
    {7, kDenkovi, 7, -1, Kind::Clock, "Rand", 4},
    {8, kDenkovi, 3, -1, Kind::Off, "Pumpe", -1},
    {9, kDummy, 10, -1, Kind::Clock, "Boiler", 0},
    {10, kNetio, 1, 5, Kind::Off, "Geblaese", -1},
};

// A dout_timer request, dispatched in the pass at `at`.
struct TimerCommand {
  int64_t at;
  int out;
  int minutes;
  bool on;
  // The minute pass that ends the timer: the n-th minute step after the
  // command, counting the step of its own pass when that is a minute's first.
  int64_t expiry() const {
    const int64_t minute = at - at % 60;
    return minute + (minutes - (at % 60 == 0 ? 1 : 0)) * 60;
  }
};

const int64_t kStart = At(2026, 12, 9, 12, 0, 0);  // a Wednesday
const int64_t kEnd = At(2026, 12, 16, 13, 0, 0);   // an hour into the next week
const int64_t kDay2 = At(2026, 12, 10, 0, 0, 0);
// A stepped minute is run in these second steps, each of which polls the
// serial devices; any other minute in one pass at second 0, which sees no new
// second and so polls nothing.
constexpr int kSeconds[] = {0, 1, 2, 3};
constexpr int kSteppedEvery = 10;  // minutes

const std::vector<TimerCommand> kTimers = {
    {At(2026, 12, 10, 10, 0, 2), 8, 15, true},   // relay board, ends 10:15
    {At(2026, 12, 11, 7, 10, 0), 10, 3, true},   // first pass of a minute: ends 07:12
    {At(2026, 12, 12, 9, 30, 2), 8, 60, true},   // ended early by the next one
    {At(2026, 12, 12, 10, 0, 2), 8, 0, true},
    {At(2026, 12, 13, 23, 50, 2), 9, 20, true},  // over the turn of the week
    {At(2026, 12, 15, 13, 37, 3), 10, 1, true},  // last pass of a minute: ends 13:38
    {At(2026, 12, 16, 5, 58, 2), 9, 2, false},   // ends in the minute of a point
};

// Every tenth minute is stepped, and so are the minutes of the commands and
// the ones before them, where the client is accepted.
bool Stepped(int64_t minute) {
  if (minute / 60 % kSteppedEvery == 0) return true;
  for (const TimerCommand& c : kTimers) {
    const int64_t commandMinute = c.at - c.at % 60;
    if (minute == commandMinute || minute + 60 == commandMinute) return true;
  }
  return false;
}

const ChannelPlan& Plan(int out) {
  return *std::find_if(kChannels.begin(), kChannels.end(),
                       [&](const ChannelPlan& c) { return c.out == out; });
}

// The timer holding channel out at time t (after that pass), if any.
const TimerCommand* RunningTimer(int out, int64_t t) {
  const TimerCommand* last = nullptr;
  for (const TimerCommand& c : kTimers) {
    if (c.out == out && c.at <= t) last = &c;
  }
  return (last != nullptr && last->minutes > 0 && t < last->expiry()) ? last : nullptr;
}

// The value of channel out right after the pass at t, from the programmes,
// the timers and the slave links alone.
bool Expected(int out, int64_t t) {
  const ChannelPlan& c = Plan(out);
  if (const TimerCommand* timer = RunningTimer(out, t)) return timer->on;
  switch (c.kind) {
    case Kind::Clock: return PointsAround(c.programme, WeekTimeOf(t)).first.on;
    case Kind::Off: return false;
    case Kind::Slave:
      for (const ChannelPlan& m : kChannels) {
        if (m.slave == out && Expected(m.out, t)) return true;
      }
      return false;
  }
  return false;
}

uint32_t ExpectedBits(int dev, int64_t t) {
  uint32_t bits = 0;
  for (const ChannelPlan& c : kChannels) {
    if (c.dev == dev && Expected(c.out, t)) bits |= 1u << c.bit;
  }
  return bits;
}

std::string ExpectedInfo(int out, int64_t t) {
  const ChannelPlan& c = Plan(out);
  if (const TimerCommand* timer = RunningTimer(out, t)) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d", static_cast<int>((timer->expiry() - (t - t % 60)) / 60));
    return text;
  }
  if (c.kind != Kind::Clock) return " ";
  const int32_t next = PointsAround(c.programme, WeekTimeOf(t)).second.time;
  char text[16];
  std::snprintf(text, sizeof text, "%s %02d:%02d", kDayText[next / kDay], next % kDay / 3600,
                next % 3600 / 60);
  return text;
}

std::string Ini(const std::string& hbPath, const std::string& ljPath, uint16_t netioPort) {
  std::string ini =
      "[Devices]\ndev0=dummy_io\ndev1=netio230b\ndev2=hb628\ndev3=leveljet\n"
      "dev4=klimaloggpro\ndev5=denkovi_relais\n"
      "[TCP/IP]\ndev1=127.0.0.1," + std::to_string(netioPort) + "\n"
      "[COM-Ports]\ndev2=COM1\ndev3=COM2\n"
      "[COM-Devices]\nCOM1=" + hbPath + "\nCOM2=" + ljPath + "\n"
      "[Files]\ndev4=../debug/klimalogg.dat\n"
      "[Digital_Outputs]\n";
  for (const ChannelPlan& c : kChannels) {
    static const char* kModes[] = {"uhr", "aus", "slave"};
    ini += "out" + std::to_string(c.out) + "=" + std::to_string(c.dev) + "," +
           std::to_string(c.bit) + "," + std::to_string(c.slave) + "," +
           kModes[static_cast<int>(c.kind)] + "," + c.name;
    if (c.kind == Kind::Clock) ini += std::string(",") + kProgrammes[c.programme].file;
    ini += "\n";
  }
  return ini;
}

// ---------------------------------------------------------------------------
// Reading what the program shows.

// The text of the first <tag> element at or after from; "?" when there is none.
std::string Element(const std::string& xml, const std::string& tag, size_t from = 0) {
  const std::string open = "<" + tag + ">";
  const size_t at = xml.find(open, from);
  if (at == std::string::npos) return "?";
  const size_t begin = at + open.size();
  const size_t end = xml.find("</" + tag + ">", begin);
  return end == std::string::npos ? "?" : xml.substr(begin, end - begin);
}

// The texts of the first elements of each tag, as "valid 1, value 0".
std::string Elements(const std::string& xml, std::initializer_list<const char*> tags) {
  std::string text;
  for (const char* tag : tags) {
    text += (text.empty() ? "" : ", ") + std::string(tag) + " " + Element(xml, tag);
  }
  return text;
}

// The position of channel out's fragment in the slow status file.
size_t Digout(const std::string& slow, int out) {
  return slow.find("<digout>\n   <outn>" + std::to_string(out) + "</outn>");
}

// The rest of the last line that starts with prefix; "" when there is none.
std::string LastLine(const std::string& console, const std::string& prefix) {
  size_t at = console.rfind(prefix);
  while (at != std::string::npos && at != 0 && console[at - 1] != '\n') {
    at = console.rfind(prefix, at - 1);
  }
  if (at == std::string::npos) return "";
  const size_t begin = at + prefix.size();
  return console.substr(begin, console.find('\n', begin) - begin);
}

std::string Bits(uint32_t bits, int n, bool highFirst) {
  std::string s;
  for (int i = 0; i < n; ++i) s += ((bits >> (highFirst ? n - 1 - i : i)) & 1u) ? '1' : '0';
  return s;
}

// Waits until the program's side of a serial port holds count bytes.
bool ArrivedAtPort(Tessaro& t, uint32_t port, int32_t count) {
  return WaitUntil([&] { return t.com.ComInQueue(port) >= count; }, 10000);
}

// Counts mismatches, reporting only the first few of each kind.
class Mismatches {
 public:
  void check(const std::string& what, int64_t t, const std::string& got, const std::string& want) {
    if (got != want && ++counts_[what] <= 3) {
      ADD_FAILURE() << what << " at " << Stamp(t, "%a %d.%m. %H:%M:%S") << ": got \"" << got
                    << "\", expected \"" << want << "\"";
    }
  }
  int total() const {
    int n = 0;
    for (const auto& [what, count] : counts_) n += count;
    return n;
  }

 private:
  std::map<std::string, int> counts_;
};

TEST(SimulatedWeek, WholeInstallationFollowsItsProgrammesTimersAndSlavesForAWeek) {
  const int64_t wallStart = NowMs();
  // Files in memory: the status files are rewritten in every pass, tens of
  // thousands of times in a week.
  TestInstallation inst(kStart);
  Tessaro& t = inst.t();

  Pty hbPty;
  Pty ljPty;
  NetioSwitch netio;
  FakeFtdiAdapter ftdi;
  ftdi.devices.push_back(FakeFtdiAdapter::Device(0x04036001, 0x21, "DAE001", "FT245R USB FIFO"));
  t.ftdi = &ftdi;

  inst.writeIni(Ini(hbPty.slavePath(), ljPty.slavePath(), netio.port()));
  for (const Programme& p : kProgrammes) {
    std::string text;
    for (const ProgLine& l : p.lines) text += std::string(l.text) + p.lineEnd;
    inst.writeFile(p.file, text);
  }
  auto writeClimate = [&](int64_t now) {
    std::string data = "[time]\nlast_actualisation=" + std::to_string(now) + "\n";
    for (int i = 0; i < 9; ++i) {
      data += "[temperature_channel_" + std::to_string(i) + "]\ndeg_C=" +
              std::to_string(18 + i) + "." + std::to_string(now / 60 % 10) + "\n";
      data += "[humidity_channel_" + std::to_string(i) + "]\npercent=" +
              std::to_string(40 + i) + "\n";
    }
    inst.writeFile("../debug/klimalogg.dat", data);
  };
  writeClimate(kStart);

  MainLoop loop(t, 0, 0);
  ASSERT_EQ(loop.startUp(), 0);
  for (const ChannelPlan& c : kChannels) ASSERT_NE(t.outputs.get(c.out), nullptr) << c.name;
  ASSERT_EQ(t.devices.get(kHb628)->portState, 1) << inst.console.output();
  ASSERT_EQ(t.devices.get(kLevelJet)->portState, 1) << inst.console.output();
  const std::string startReport = inst.console.take();
  ASSERT_EQ(startReport.find("FT_Open failed"), std::string::npos) << startReport;

  Mismatches mismatch;
  std::map<int, int> switches;  // per channel, as the devices saw them
  std::map<int, int> referenceSwitches;
  std::map<int, bool> lastSeen;
  std::unique_ptr<CommandClient> client;
  uint8_t hbAnswer[17] = {};
  int32_t hbShown[8] = {};   // the answer the latest poll read
  int32_t hbQueued[8] = {};  // the answer waiting for the next poll
  long polls = 0;
  int level = 1000;
  int fdsDay2 = 0;
  long rssDay2 = 0;
  long passes = 0;
  std::string expectedLog = "\n12:00:00 Tessaro gestartet";

  std::vector<int64_t> passTimes;
  for (int64_t m = kStart; m <= kEnd; m += 60) {
    if (!Stepped(m)) {
      passTimes.push_back(m);
      continue;
    }
    for (int s : kSeconds) passTimes.push_back(m + s);
  }

  for (size_t i = 0; i < passTimes.size(); ++i) {
    const int64_t now = passTimes[i];
    const bool minutePass = now % 60 == 0;
    // The pass's second tick polls the serial devices.
    const bool poll = i > 0 && now % 60 != passTimes[i - 1] % 60;
    polls += poll ? 1 : 0;

    // The devices' side, before the pass.
    if (minutePass) writeClimate(now);
    if (poll) {
      // One LevelJet frame per poll; the level moves every ten minutes.
      level = 1000 + static_cast<int>(now / 600 % 50);
      const uint8_t frame[12] = {0x34, 0x12, 0x20, 0x03, static_cast<uint8_t>(level & 0xFF),
                                 static_cast<uint8_t>(level >> 8), 0x10, 0x27, 42, 0, 0, 0};
      ljPty.send(std::string(reinterpret_cast<const char*>(frame), sizeof frame));
      mismatch.check("LevelJet frame", now, ArrivedAtPort(t, 1, 12) ? "12 bytes" : "late",
                     "12 bytes");
    }
    if (poll) std::copy(std::begin(hbQueued), std::end(hbQueued), std::begin(hbShown));

    // The command client: connected before the pass that accepts it, so the
    // next pass dispatches its line.
    for (const TimerCommand& c : kTimers) {
      if (i + 1 < passTimes.size() && passTimes[i + 1] == c.at) {
        client = std::make_unique<CommandClient>(loop.port());
        ASSERT_TRUE(client->connected());
        client->send("cmd=dout_timer&username=woche&outn=" + std::to_string(c.out) +
                     "&time=" + std::to_string(c.minutes) + "&output=" + (c.on ? "true" : "false") +
                     "\r\n");
      }
    }

    inst.clock.set(now);
    loop.pass();
    ++passes;

    // Expected log entries of this pass, in the pass's order.
    if (now % kDay == 0) expectedLog += "\n----- " + Stamp(now, "%d.%m.%Y") + " -----";
    for (const TimerCommand& c : kTimers) {
      if (c.at != now) continue;
      expectedLog += "\n" + Stamp(now, "%H:%M:%S") + " [w] " + Plan(c.out).name +
                     ": Timer = " + std::to_string(c.minutes) + " min [" + (c.on ? "ein" : "off") +
                     "]";
      ASSERT_TRUE(client);
      mismatch.check("dout_timer reply", now, client->receive(1), "ok\r\n");
      client.reset();  // the next pass sees the close
    }
    for (const TimerCommand& c : kTimers) {
      if (c.minutes > 0 && c.expiry() == now && RunningTimer(c.out, now - 1) == &c) {
        expectedLog += "\n" + Stamp(now, "%H:%M:%S") + " " + Plan(c.out).name + ": Timer abgelaufen";
      }
    }

    // The HB628 got its request in every pass with a second tick.
    if (poll) {
      mismatch.check("HB628 request", now, hbPty.receive(3, 10000), "c09");
      for (int k = 0; k < 8; ++k) {
        hbQueued[k] = static_cast<int32_t>((now * 7 + k * 4099) & 0xFFFF);
        hbAnswer[2 * k] = static_cast<uint8_t>(hbQueued[k] >> 8);
        hbAnswer[2 * k + 1] = static_cast<uint8_t>(hbQueued[k] & 0xFF);
      }
      hbPty.send(std::string(reinterpret_cast<const char*>(hbAnswer), sizeof hbAnswer));
      mismatch.check("HB628 answer", now, ArrivedAtPort(t, 0, 17) ? "17 bytes" : "late",
                     "17 bytes");
    }

    // Outputs, after every pass from the first minute tick on (12:01).
    const std::string console = inst.console.take();
    if (now < kStart + 60) continue;
    for (const ChannelPlan& c : kChannels) {
      mismatch.check(std::string("value of ") + c.name, now,
                     std::to_string(t.devices.get(c.dev)->getOutputBit(c.bit)),
                     Expected(c.out, now) ? "1" : "0");
    }
    for (const char* fault : {"Fehler", "fehlgeschlagen", "nicht oeffnen", "FAILED", "failed",
                              "re-open", "Restart", "TIMEOUT"}) {
      if (console.find(fault) == std::string::npos) continue;
      mismatch.check("console", now, console, "no fault");
    }

    // What reached the devices: every minute pass writes every device.
    const std::vector<std::string> heard = netio.take();
    const std::string dummyLine = LastLine(console, "DUMMYIO: ");
    if (minutePass || !heard.empty()) {
      mismatch.check("NETIO port list", now, heard.empty() ? "(nothing)" : heard.back(),
                     "port list " + Bits(ExpectedBits(kNetio, now), 4, false) + "\n");
      for (size_t k = 0; k < heard.size(); ++k) {
        const std::string line = k % 2 == 0 ? "login pxmrt pxmrt\n" : "port list ";
        if (heard[k].rfind(line, 0) != 0) mismatch.check("NETIO exchange", now, heard[k], line);
      }
    }
    if (minutePass || !ftdi.written.empty()) {
      mismatch.check("relay board byte", now,
                     ftdi.written.empty() ? "(nothing)" : Bits(ftdi.written.back(), 8, true),
                     Bits(ExpectedBits(kDenkovi, now), 8, true));
      ftdi.written.clear();
    }
    if (minutePass || !dummyLine.empty()) {
      mismatch.check("DUMMYIO line", now, dummyLine, Bits(ExpectedBits(kDummy, now), 32, true));
    }
    if (!minutePass) continue;

    // Once a minute: switching counts, info texts and the status files.
    for (const ChannelPlan& c : kChannels) {
      const bool now_on = Expected(c.out, now);
      if (lastSeen.count(c.out) != 0 && lastSeen[c.out] != now_on) ++referenceSwitches[c.out];
      const bool dev_on = t.devices.get(c.dev)->getOutputBit(c.bit) != 0;
      if (lastSeen.count(c.out) != 0 && lastSeen[c.out] != dev_on) ++switches[c.out];
      lastSeen[c.out] = dev_on;
    }
    const std::string slow = inst.slowXml();
    for (const ChannelPlan& c : kChannels) {
      const std::string info = ExpectedInfo(c.out, now);
      mismatch.check(std::string("info of ") + c.name, now, t.outputs.get(c.out)->info, info);
      const size_t at = Digout(slow, c.out);
      const std::string fragment = at == std::string::npos ? "" : slow.substr(at, 300);
      mismatch.check(std::string("slow.xml of ") + c.name, now,
                     Elements(fragment, {"valid", "value", "info"}),
                     "valid 1, value " + std::string(Expected(c.out, now) ? "1" : "0") + ", info " +
                         info);
    }
    char levelText[16];
    std::snprintf(levelText, sizeof levelText, "%.1f", level / 10.0);
    mismatch.check("tank element", now, Elements(Element(slow, "tank"), {"valid", "level"}),
                   std::string("valid 1, level ") + levelText);
    mismatch.check("klp element", now, Elements(Element(slow, "klp"), {"valid", "last"}),
                   "valid 1, last " + Stamp(now, "%d.%m.%Y %H:%M:%S"));
    const std::string ai = Element(inst.fastXml(), "AI");
    std::string wantAi = "\n      <valid>1</valid>\n";
    for (int k = 0; k < 8; ++k) {
      char ch[32];
      std::snprintf(ch, sizeof ch, "      <CH>%.3f</CH>\n", hbShown[k] / 1000.0);
      wantAi += ch;
    }
    mismatch.check("AI element", now, ai, wantAi + "   ");

    if (now == kDay2 + 3 * 60) {
      ASSERT_TRUE(WaitUntil([&] { return netio.idle(); }));
      fdsDay2 = OpenDescriptors(getpid());
      rssDay2 = VmRssKiB(getpid());
    }
  }
  ASSERT_TRUE(WaitUntil([&] { return netio.idle(); }));
  const int fdsEnd = OpenDescriptors(getpid());
  const long rssEnd = VmRssKiB(getpid());
  const double seconds = (NowMs() - wallStart) / 1000.0;

  EXPECT_EQ(mismatch.total(), 0);
  for (const ChannelPlan& c : kChannels) {
    EXPECT_EQ(switches[c.out], referenceSwitches[c.out]) << c.name;
    if (c.kind == Kind::Clock) {
      EXPECT_GE(switches[c.out], 4) << c.name;
    }
  }
  EXPECT_EQ(static_cast<HB628*>(t.devices.get(kHb628))->errorCount, 0);
  EXPECT_EQ(inst.log(), expectedLog);

  // No growth from the start of day 2 to the end.
  EXPECT_EQ(fdsEnd, fdsDay2);
  if (!kAddressSanitizer) {
    // The quarantine of AddressSanitizer holds freed memory on purpose.
    EXPECT_LE(rssEnd - rssDay2, 256) << "VmRSS grew from " << rssDay2 << " kB";
  }
  std::cout << "[ week     ] " << passes << " passes, " << polls << " polls, " << seconds << " s; fds " << fdsDay2
            << " -> " << fdsEnd << ", VmRSS " << rssDay2 << " -> " << rssEnd << " kB\n";
  RecordProperty("passes", std::to_string(passes));
  RecordProperty("seconds", std::to_string(seconds));
}

}  // namespace
