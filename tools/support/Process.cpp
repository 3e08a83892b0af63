#include "tools/support/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "tools/support/Wait.h"

namespace {

// A huge configuration is read afresh for every look-up: the start report
// of one takes seconds, more under the sanitizers.
constexpr int kStartMs = 30000;
constexpr int kRetryPauseMs = 500;

std::string wholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

Process::Process(const std::string& program, const std::vector<std::string>& args,
                 const std::string& workDir, Input input, const std::vector<std::string>& env,
                 Errors errors) {
  static int counter = 0;
  outputPath_ = workDir + "/../stdout-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
  if (errors == Errors::Apart) errorsPath_ = outputPath_ + "-stderr";
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    reaped_ = true;  // nothing to wait for
    return;
  }
  pid_ = fork();
  if (pid_ == 0) {
    // A test or benchmark killed half-way must not leave a server on the port.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int in = input == Input::DevNull ? open("/dev/null", O_RDONLY) : pipeFds[0];
    dup2(in, STDIN_FILENO);
    const int out = open(outputPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, STDOUT_FILENO);
    dup2(errorsPath_.empty() ? out : open(errorsPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
         STDERR_FILENO);
    if (chdir(workDir.c_str()) != 0) _exit(126);
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(pipeFds[0]);
  input_ = pipeFds[1];
  if (pid_ < 0) reaped_ = true;
  if (input == Input::DevNull || pid_ < 0) closeInput();
}

Process::~Process() {
  if (running()) {
    kill(pid_, SIGKILL);
    wait(5000);
  }
  closeInput();
  unlink(outputPath_.c_str());
  if (!errorsPath_.empty()) unlink(errorsPath_.c_str());
}

void Process::writeInput(const std::string& bytes) {
  if (input_ >= 0) (void)!::write(input_, bytes.data(), bytes.size());
}

void Process::closeInput() {
  if (input_ >= 0) ::close(input_);
  input_ = -1;
}

void Process::signal(int sig) {
  if (!reaped_) kill(pid_, sig);
}

bool Process::reap(int options) {
  int status = 0;
  if (reaped_ || waitpid(pid_, &status, options) != pid_) return reaped_;
  reaped_ = true;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return true;
}

int Process::wait(int timeoutMs) {
  return WaitUntil([&] { return reap(WNOHANG); }, timeoutMs) ? status_ : -1;
}

bool Process::running() { return !reap(WNOHANG); }

std::string Process::output() const { return wholeFile(outputPath_); }

std::string Process::errors() const { return errorsPath_.empty() ? "" : wholeFile(errorsPath_); }

bool Process::waitForOutput(const std::string& text, int timeoutMs) const {
  return WaitUntil([&] { return output().find(text) != std::string::npos; }, timeoutMs);
}

std::unique_ptr<Process> StartServer(const std::string& program, const std::string& workDir,
                                     std::string* failure, Process::Input input, int retryMs,
                                     const std::vector<std::string>& env) {
  const std::string log = workDir + "/logfile.txt";
  const int64_t end = NowMs() + retryMs;
  do {
    auto p = std::make_unique<Process>(program, std::vector<std::string>{}, workDir, input, env);
    const bool started = WaitUntil(
        [&] { return !p->running() || wholeFile(log).find("Tessaro gestartet") != std::string::npos; },
        kStartMs);
    if (started && p->running()) return p;
    if (p->running() || p->output().find("Fehler Funktion bind\n") == std::string::npos) {
      *failure = "the program did not start:\n" + p->output().substr(0, 2000);
      return nullptr;
    }
    SleepMs(kRetryPauseMs);
  } while (NowMs() < end);
  *failure = "port 1969 stayed busy";
  return nullptr;
}

std::optional<uint16_t> ParseGatewayPort(std::string_view console) {
  constexpr std::string_view kListening = "tessaro_gateway: http";
  constexpr std::string_view kAddress = "://127.0.0.1:";
  const size_t at = console.find(kListening);
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view rest = console.substr(at + kListening.size());
  if (rest.substr(0, 1) == "s") rest.remove_prefix(1);
  if (rest.substr(0, kAddress.size()) != kAddress) return std::nullopt;
  rest.remove_prefix(kAddress.size());
  const size_t end = rest.find("/\n");
  if (end == std::string_view::npos || end == 0 || end > 5) return std::nullopt;
  long port = 0;
  for (const char c : rest.substr(0, end)) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + (c - '0');
  }
  if (port < 1 || port > 65535) return std::nullopt;
  return static_cast<uint16_t>(port);
}

uint16_t StartGateway(const std::string& program, std::vector<std::string> args,
                      const std::string& workDir, std::unique_ptr<Process>* gateway,
                      Process::Input input) {
  args.insert(args.begin(), {"--http", "127.0.0.1:0"});
  *gateway = std::make_unique<Process>(program, args, workDir, input);
  Process& g = **gateway;
  WaitUntil([&] { return ParseGatewayPort(g.output()) || !g.running(); }, 10000);
  return ParseGatewayPort(g.output()).value_or(0);
}
