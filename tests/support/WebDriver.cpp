#include "tests/support/WebDriver.h"

#include <httplib.h>

#include <fstream>

#include "gateway/web/Base64.h"
#include "tools/support/FreePort.h"

using nlohmann::json;

namespace {

// The key under which WebDriver gives an element's id.
constexpr const char* kElement = "element-6066-11e4-a52e-4f735466cecf";

}  // namespace

WebDriver::WebDriver(int width, int height) {
  const uint16_t port = FreePort();
  // The browser's language is the environment's: a German one shows times
  // as 24 hours, as the page's users see them.
  driver_ = std::make_unique<Process>("/usr/bin/chromedriver",
                                      std::vector<std::string>{"--port=" + std::to_string(port)},
                                      profile_.path(), Process::Input::DevNull,
                                      std::vector<std::string>{"LANG=de_DE.UTF-8", "LANGUAGE=de"});
  if (!driver_->waitForOutput("started successfully", 30000)) {
    failure_ = "chromedriver did not start: " + driver_->output();
    return;
  }
  http_ = std::make_unique<httplib::Client>("127.0.0.1", port);
  http_->set_read_timeout(60, 0);
  // Without the background services Chromium keeps reaching for the network,
  // which this machine refuses.
  const json args = {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync",
                     "--user-data-dir=" + profile_.path() + "/profile",
                     "--window-size=" + std::to_string(width) + "," + std::to_string(height)};
  json chrome = {{"binary", "/usr/bin/chromium"}, {"args", args}};
  // A headless window is never narrower than 500 pixels: a phone's width
  // needs the phone's emulation.
  if (width < 500) {
    chrome["mobileEmulation"] = {{"deviceMetrics", {{"width", width}, {"height", height}, {"pixelRatio", 1}}}};
  }
  const json caps = {
      {"capabilities", {{"alwaysMatch", {{"browserName", "chrome"}, {"goog:chromeOptions", chrome}}}}}};
  const json started = call("POST", "/session", caps);
  if (started.contains("sessionId")) {
    session_ = started["sessionId"];
  } else {
    failure_ = "no browser session: " + started.dump();
  }
}

WebDriver::~WebDriver() {
  if (!session_.empty()) call("DELETE", "/session/" + session_);
}

json WebDriver::call(const std::string& method, const std::string& path, const json& body) {
  if (!http_) return json();
  const std::string text = body.dump();
  httplib::Result res = method == "GET"      ? http_->Get(path)
                        : method == "DELETE" ? http_->Delete(path)
                                             : http_->Post(path, text, "application/json");
  if (!res) return json();
  const json answer = json::parse(res->body, nullptr, false);
  return answer.is_object() && answer.contains("value") ? answer["value"] : json();
}

bool WebDriver::open(const std::string& url) {
  return call("POST", "/session/" + session_ + "/url", {{"url", url}}).is_null();
}

std::optional<std::string> WebDriver::find(const std::string& css) {
  const json e = call("POST", "/session/" + session_ + "/element",
                      {{"using", "css selector"}, {"value", css}});
  if (!e.is_object() || !e.contains(kElement)) return std::nullopt;
  return e[kElement].get<std::string>();
}

bool WebDriver::click(const std::string& css) {
  const std::optional<std::string> e = find(css);
  return e && call("POST", "/session/" + session_ + "/element/" + *e + "/click").is_null();
}

bool WebDriver::type(const std::string& css, const std::string& text) {
  const std::optional<std::string> e = find(css);
  if (!e) return false;
  call("POST", "/session/" + session_ + "/element/" + *e + "/clear");
  return call("POST", "/session/" + session_ + "/element/" + *e + "/value", {{"text", text}})
      .is_null();
}

json WebDriver::script(const std::string& body) {
  return call("POST", "/session/" + session_ + "/execute/sync",
              {{"script", body}, {"args", json::array()}});
}

std::string WebDriver::text(const std::string& css) {
  const std::optional<std::string> e = find(css);
  if (!e) return "";
  const json t = call("GET", "/session/" + session_ + "/element/" + *e + "/text");
  return t.is_string() ? t.get<std::string>() : "";
}

bool WebDriver::screenshot(const std::string& path, const std::string& css) {
  const std::optional<std::string> e = css.empty() ? std::nullopt : find(css);
  if (!css.empty() && !e) return false;
  // The driver clips an element to the window: its top at the window's top
  // leaves the most of it in the picture.
  if (e) {
    call("POST", "/session/" + session_ + "/execute/sync",
         {{"script", "arguments[0].scrollIntoView();"}, {"args", json::array({json{{kElement, *e}}})}});
  }
  const json png = call("GET", "/session/" + session_ + (e ? "/element/" + *e : "") + "/screenshot");
  if (!png.is_string()) return false;
  const std::optional<std::string> decoded = Base64Decode(png.get<std::string>());
  if (!decoded) return false;
  std::ofstream out(path, std::ios::binary);
  out << *decoded;
  return static_cast<bool>(out);
}
