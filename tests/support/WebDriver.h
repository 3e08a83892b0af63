#pragma once

#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace httplib {
class Client;
}

// Debian's headless Chromium driven through chromedriver's WebDriver
// protocol, for tests that use the page as a person does: find, click, type,
// read what is shown, take a screenshot.
class WebDriver {
 public:
  // Starts chromedriver and a browser window of width x height pixels (a
  // phone's screen below 500);
  // ready() tells whether both came up.
  WebDriver(int width, int height);
  ~WebDriver();
  bool ready() const { return !session_.empty(); }
  const std::string& failure() const { return failure_; }

  bool open(const std::string& url);
  // The first element the CSS selector finds: its WebDriver id, or nothing.
  std::optional<std::string> find(const std::string& css);
  bool click(const std::string& css);
  bool type(const std::string& css, const std::string& text);
  // The value of a script's "return ...".
  nlohmann::json script(const std::string& body);
  // The visible text of the first element found, "" when there is none.
  std::string text(const std::string& css);
  // The window as PNG, written to path; with css, only the first element
  // found, as much of it as the window holds.
  bool screenshot(const std::string& path, const std::string& css = "");

 private:
  nlohmann::json call(const std::string& method, const std::string& path,
                      const nlohmann::json& body = nlohmann::json::object());

  TempDir profile_;
  std::unique_ptr<Process> driver_;
  std::unique_ptr<httplib::Client> http_;
  std::string session_;
  std::string failure_;
};
