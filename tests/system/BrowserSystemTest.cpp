// The page in headless Chromium over the demo installation, used as a person
// uses it: it shows the channels, a click on a mode switches the channel and
// the page follows without a reload, a timer counts down, and a stopped
// server brings up the banner; a week programme is edited and saved. It saves
// the screenshots the README shows.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <regex>

#include "gateway/history/History.h"
#include "tests/support/ServerInstallation.h"
#include "tests/support/TestInstallation.h"
#include "tests/support/WebDriver.h"
#include "tools/support/Wait.h"

namespace {

namespace fs = std::filesystem;

// Room for a loaded machine: the page hears from the gateway, the gateway
// from the status files, and each look is a WebDriver round trip.
bool Eventually(const std::function<bool()>& done) { return WaitUntil(done, 30000); }

// The demo installation with its simulators, the server and the gateway.
class DemoInstallation {
 public:
  DemoInstallation() {
    fs::copy(TESSARO_SOURCE_DIR "/examples/demo", run,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    const std::string tools = TESSARO_TOOLS_DIR;
    sims.push_back(start(tools + "/netio_sim", {"--port", "19230"}));
    sims.push_back(start(tools + "/hb628_sim", {"--link", "./hb628.tty"}));
    sims.push_back(start(tools + "/leveljet_sim", {"--link", "./leveljet.tty"}));
    sims.push_back(start(tools + "/klimalogg_sim", {"--file", "./KlimaLogg.dat1", "--interval", "5"}));
    for (const char* link : {"/hb628.tty", "/leveljet.tty", "/KlimaLogg.dat1"}) {
      Eventually([&] { return fs::exists(run + link); });
    }
    seedHistory();
    // At a time of its own: the first pass's minute tick, which writes the
    // outputs and reads the climate data, runs whatever the real minute.
    server = inst.startAt(At(2026, 6, 10, 8, 15, 30), TESSARO_BINARY);
    const uint16_t port =
        StartGateway(TESSARO_GATEWAY_BINARY, {"--history", history, "--history-batch", "1"}, run, &gateway);
    if (server && port != 0) url = "http://127.0.0.1:" + std::to_string(port) + "/";
  }
  std::string slowXml() const { return inst.slowXml(); }

  // The last day of the HB628's inputs, as a recording gateway would
  // have left them: the charts have data from the start.
  void seedHistory() {
    std::string error;
    std::unique_ptr<History> h = History::Open(history, &error);
    ASSERT_NE(h, nullptr) << error;
    const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    std::vector<History::Row> rows;
    for (int64_t t = now - 26 * 3600'000; t < now; t += History::kMinuteMs) {
      for (int k = 1; k <= 8; ++k) {
        rows.push_back({"ai.2." + std::to_string(k), t, k + 0.4 * std::sin(t / 3600'000.0 + k)});
      }
    }
    ASSERT_TRUE(h->write(rows, {}));
  }

  ServerInstallation inst{""};
  std::string history = inst.root.path() + "/history.sqlite";
  std::string run = inst.run;
  std::vector<std::unique_ptr<Process>> sims;
  std::unique_ptr<Process> server;
  std::unique_ptr<Process> gateway;
  std::string url;

 private:
  std::unique_ptr<Process> start(const std::string& program, std::vector<std::string> args) {
    return std::make_unique<Process>(program, args, run, Process::Input::DevNull);
  }
};

TEST(BrowserSystemTest, PageShowsSwitchesCountsDownAndWarnsWhenTheServerStops) {
  DemoInstallation demo;
  ASSERT_FALSE(demo.url.empty()) << (demo.server ? demo.gateway->output() : demo.inst.why);
  WebDriver browser(1280, 3700);  // tall enough for the whole page in one picture
  ASSERT_TRUE(browser.ready()) << browser.failure();
  ASSERT_TRUE(browser.open(demo.url));

  // The channels with their names, umlauts included.
  ASSERT_TRUE(Eventually([&] { return browser.text("[data-channel='6']").find("L\u00fcfter") != std::string::npos; }))
      << browser.text("#channels");
  EXPECT_NE(browser.text("[data-channel='0']").find("Kessel"), std::string::npos);
  // A mark that a reload would wipe out.
  browser.script("window.notReloaded = true; return null;");

  ASSERT_TRUE(browser.click("[data-channel='0'] select.mode"));
  ASSERT_TRUE(browser.click("[data-channel='0'] select.mode option[value='ein']"));
  EXPECT_TRUE(Eventually([&] {
    return demo.slowXml().find("<outn>0</outn>\n   <valid>1</valid>\n   <value>1</value>\n   <mode>ein</mode>") !=
           std::string::npos;
  })) << demo.slowXml();
  EXPECT_TRUE(Eventually([&] { return browser.text("[data-channel='0'] .state").find("ein") != std::string::npos; }));
  EXPECT_EQ(browser.script("return window.notReloaded === true;"), true);

  // A timer on channel 5 (Licht), held on for 5 minutes.
  ASSERT_TRUE(browser.type("[data-channel='5'] input[type='number']", "5"));
  ASSERT_TRUE(browser.click("[data-channel='5'] button.timer-on"));
  EXPECT_TRUE(Eventually([&] { return std::regex_search(demo.slowXml(), std::regex("<timer_time>[45]</timer_time>")); }));
  // 5 minutes, or 4 when a minute tick came in between.
  EXPECT_TRUE(Eventually([&] {
    return std::regex_search(browser.text("[data-channel='5'] .timer"), std::regex("noch [45] min"));
  })) << browser.text("[data-channel='5']");

  // The recorded inputs as a chart.
  EXPECT_TRUE(Eventually([&] {
    return browser.script("const c = document.querySelector(\"#history .chart[data-series-group='ai.2']\");"
                          "return c !== null && c.querySelector('canvas') !== null && Number(c.dataset.points) > 100;") == true;
  })) << browser.text("#history");

  // Sensors from the simulators, then the picture for the README.
  EXPECT_TRUE(Eventually([&] { return browser.script("return document.querySelectorAll('.stale').length;") == 0; }))
      << browser.text("#sensors");
  fs::create_directories(TESSARO_SCREENSHOT_DIR);
  EXPECT_TRUE(browser.screenshot(TESSARO_SCREENSHOT_DIR "/gateway.png"));
  WebDriver phone(390, 1600);
  if (phone.ready() && phone.open(demo.url)) {
    Eventually([&] { return !phone.text("[data-channel='7']").empty(); });
    EXPECT_TRUE(phone.screenshot(TESSARO_SCREENSHOT_DIR "/gateway-phone.png"));
  }

  demo.server->signal(SIGTERM);
  ASSERT_EQ(demo.server->wait(10000), 0);
  EXPECT_TRUE(Eventually([&] { return browser.script("return !document.getElementById('banner').hidden;") == true; }));
  EXPECT_FALSE(browser.text("#banner").empty());
}

// At Wednesday 10:15 heizung.txt has channel 3 switch on next at 16:00. A
// point at 12:00 on Monday, copied to Monday to Friday, brings it forward.
TEST(BrowserSystemTest, EditedProgrammeIsSavedAndTheChannelsNextPointFollows) {
  DemoInstallation demo;
  ASSERT_FALSE(demo.url.empty()) << (demo.server ? demo.gateway->output() : demo.inst.why);
  WebDriver browser(1280, 1700);  // the whole editor in one picture
  ASSERT_TRUE(browser.ready()) << browser.failure();
  ASSERT_TRUE(browser.open(demo.url));
  const std::string editor = ".programme[data-file='0'] ";
  const std::string monday = editor + ".eday[data-day='0'] ";
  ASSERT_TRUE(Eventually([&] { return browser.text(editor + ".users [data-n='3']").find("Mi 16:00") != std::string::npos; }))
      << browser.text(editor);

  ASSERT_TRUE(browser.click(monday + "button.add"));  // 23:00, after the day's last
  ASSERT_TRUE(browser.type(monday + "li.point:last-child input.time", "1200"));
  ASSERT_TRUE(browser.click(editor + ".copy button.to-weekdays"));
  EXPECT_EQ(browser.script("return document.querySelector(\"" + editor + "\").dataset.dirty;"), "true");
  // Wednesday's bars from the points being edited: on from 12:00 to 22:00.
  EXPECT_EQ(browser.script("return [...document.querySelectorAll(\"" + editor +
                           ".eday[data-day='2'] .bar\")].map((b) => b.dataset.from + '-' + b.dataset.to).join();"),
            "330-480,720-1320");

  ASSERT_TRUE(browser.click(editor + "button.save"));
  EXPECT_TRUE(Eventually([&] { return browser.text("#channels [data-channel='3'] .next").find("Mi 12:00") != std::string::npos; }))
      << browser.text(editor + ".error") << demo.slowXml();
  EXPECT_NE(ReadFile(demo.run + "/programme/heizung.txt").find("1111100 12:00 on"), std::string::npos);
  EXPECT_TRUE(Eventually([&] { return browser.text(editor + ".saved").find("Tessaro: 3 Heizkreis Mi 12:00") != std::string::npos; }))
      << browser.text(editor + ".saved");
  EXPECT_EQ(browser.script("return document.querySelector(\"" + editor + "\").dataset.dirty;"), "false");

  fs::create_directories(TESSARO_SCREENSHOT_DIR);
  EXPECT_TRUE(browser.screenshot(TESSARO_SCREENSHOT_DIR "/programmes.png", editor));
  WebDriver phone(390, 1600);
  if (phone.ready() && phone.open(demo.url)) {
    Eventually([&] { return !phone.text(editor + ".eday[data-day='6'] li.point").empty(); });
    EXPECT_TRUE(phone.screenshot(TESSARO_SCREENSHOT_DIR "/programmes-phone.png", editor));
  }
}

}  // namespace
