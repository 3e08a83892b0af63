#include "tests/support/ServerInstallation.h"

#include <signal.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "tools/support/Bytes.h"

namespace {

constexpr char kFakeTimeLibrary[] = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";

}  // namespace

ServerInstallation::ServerInstallation(const std::string& ini, bool withDebugDir) {
  std::filesystem::create_directories(run);
  if (withDebugDir) std::filesystem::create_directories(debug);
  WriteFile(run + "/Tessaro.ini", ini);
}

std::unique_ptr<Process> ServerInstallation::start(const std::string& program,
                                                   Process::Input input) {
  return StartServer(program, run, &why, input);
}

std::unique_ptr<Process> ServerInstallation::startAt(int64_t fakeEpoch, const std::string& program,
                                                     const std::string& tz) {
  setFakeTime(fakeEpoch);
  // The preloaded library comes before the sanitizer runtime.
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::string asanOptions = asan != nullptr && *asan != '\0' ? std::string(asan) + ":" : "";
  return StartServer(program, run, &why, Process::Input::DevNull, kPortWaitMs,
                     {std::string("LD_PRELOAD=") + kFakeTimeLibrary,
                      "FAKETIME_TIMESTAMP_FILE=" + clockFile_, "FAKETIME_NO_CACHE=1", "TZ=" + tz,
                      "ASAN_OPTIONS=" + asanOptions + "verify_asan_link_order=0"});
}

void ServerInstallation::setFakeTime(int64_t epoch) {
  const int64_t offset = epoch - static_cast<int64_t>(std::time(nullptr));
  // Written whole and renamed, so the program never reads half an offset.
  WriteFile(clockFile_ + ".new", (offset >= 0 ? "+" : "") + std::to_string(offset) + "\n");
  std::filesystem::rename(clockFile_ + ".new", clockFile_);
}

std::string ServerInstallation::dout(int outn, const std::string& mode, const std::string& name) {
  CommandClient client(1969);
  const std::string reply =
      client.request("cmd=dout&username=fault&outn=" + std::to_string(outn) + "&mode=" + mode +
                     "\r\n");
  expected_.push_back("[f] " + name + ": " + mode);
  return reply;
}

::testing::AssertionResult ServerInstallation::everyCommandLogged() const {
  const std::string text = log();
  for (const std::string& entry : expected_) {
    if (text.find(entry) == std::string::npos) {
      return ::testing::AssertionFailure() << "'" << entry << "' missing in:\n" << text;
    }
  }
  return ::testing::AssertionSuccess();
}

bool ServerInstallation::waitForLog(const std::string& text, size_t count, int timeoutMs) const {
  return WaitUntil([&] { return CountOf(log(), text) >= count; }, timeoutMs);
}

int Stop(Process& p) {
  p.signal(SIGTERM);
  return p.wait(10000);
}
