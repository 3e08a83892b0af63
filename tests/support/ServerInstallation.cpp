#include "tests/support/ServerInstallation.h"

#include <dlfcn.h>
#include <gnu/libc-version.h>
#include <signal.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "tools/support/Bytes.h"

namespace {

// libfaketime of the architecture the tests run on: in the multiarch
// directory of their own C library (/usr/lib/x86_64-linux-gnu,
// /usr/lib/aarch64-linux-gnu, ...), else where a system without multiarch
// keeps it. Empty when there is none.
std::string FakeTimeLibrary() {
  std::vector<std::string> candidates;
  Dl_info libc{};
  if (dladdr(reinterpret_cast<void*>(&gnu_get_libc_version), &libc) != 0 &&
      libc.dli_fname != nullptr) {
    const std::string triplet = std::filesystem::path(libc.dli_fname).parent_path().filename();
    candidates.push_back("/usr/lib/" + triplet + "/faketime/libfaketime.so.1");
  }
  candidates.push_back("/usr/lib64/faketime/libfaketime.so.1");
  candidates.push_back("/usr/lib/faketime/libfaketime.so.1");
  for (const std::string& path : candidates) {
    if (FileExists(path)) return path;
  }
  return "";
}

}  // namespace

ServerInstallation::ServerInstallation(const std::string& ini, bool withDebugDir) {
  std::filesystem::create_directories(run);
  if (withDebugDir) std::filesystem::create_directories(debug);
  WriteFile(run + "/Tessaro.ini", ini);
}

// libfaketime keeps a semaphore and a shared memory entry named by the pid of
// the process it came into, and removes them when that process exits; one
// that was killed leaves them. Only the servers started here are cleared.
ServerInstallation::~ServerInstallation() {
  for (const pid_t pid : fakedPids_) {
    std::error_code ignored;
    std::filesystem::remove("/dev/shm/faketime_shm_" + std::to_string(pid), ignored);
    std::filesystem::remove("/dev/shm/sem.faketime_sem_" + std::to_string(pid), ignored);
  }
}

std::unique_ptr<Process> ServerInstallation::start(const std::string& program,
                                                   Process::Input input) {
  return StartServer(program, run, &why, input);
}

std::unique_ptr<Process> ServerInstallation::startAt(int64_t fakeEpoch, const std::string& program,
                                                     const std::string& tz) {
  static const std::string library = FakeTimeLibrary();
  if (library.empty()) {
    why = "libfaketime.so.1 is in no library directory of this machine";
    return nullptr;
  }
  setFakeTime(fakeEpoch);
  // The preloaded library comes before the sanitizer runtime.
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::string asanOptions = asan != nullptr && *asan != '\0' ? std::string(asan) + ":" : "";
  std::unique_ptr<Process> p = StartServer(
      program, run, &why, Process::Input::DevNull, kPortWaitMs,
      {"LD_PRELOAD=" + library, "FAKETIME_TIMESTAMP_FILE=" + clockFile_, "FAKETIME_NO_CACHE=1",
       "TZ=" + tz, "ASAN_OPTIONS=" + asanOptions + "verify_asan_link_order=0"});
  if (p) fakedPids_.push_back(p->pid());
  return p;
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
