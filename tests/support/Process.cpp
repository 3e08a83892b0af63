#include "tests/support/Process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <cerrno>

#include "tests/support/TempDir.h"

namespace {

int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

Process::Process(const std::string& program, const std::vector<std::string>& args,
                 const std::string& workDir, Input input) {
  static int counter = 0;
  outputPath_ = workDir + "/../stdout-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    if (input == Input::DevNull) {
      const int null = open("/dev/null", O_RDONLY);
      dup2(null, STDIN_FILENO);
    } else {
      dup2(pipeFds[0], STDIN_FILENO);
    }
    const int out = open(outputPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    if (chdir(workDir.c_str()) != 0) _exit(126);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(pipeFds[0]);
  input_ = pipeFds[1];
  if (input == Input::DevNull) closeInput();
}

Process::~Process() {
  if (running()) {
    kill(pid_, SIGKILL);
    wait(5000);
  }
  closeInput();
  unlink(outputPath_.c_str());
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

int Process::wait(int timeoutMs) {
  const int64_t end = nowMs() + timeoutMs;
  while (!reaped_) {
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      reaped_ = true;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      break;
    }
    if (nowMs() > end) return -1;
    SleepMs(10);
  }
  return status_;
}

bool Process::running() {
  if (reaped_) return false;
  int status = 0;
  const pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == pid_) {
    reaped_ = true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return false;
  }
  return true;
}

std::string Process::output() const { return ReadFile(outputPath_); }

bool Process::waitForOutput(const std::string& text, int timeoutMs) const {
  const int64_t end = nowMs() + timeoutMs;
  while (output().find(text) == std::string::npos) {
    if (nowMs() > end) return false;
    SleepMs(20);
  }
  return true;
}

std::unique_ptr<Process> StartServer(const std::string& program, const std::string& workDir,
                                     std::string* failure, Process::Input input, int retryMs) {
  const std::string log = workDir + "/logfile.txt";
  const int64_t end = nowMs() + retryMs;
  do {
    auto p = std::make_unique<Process>(program, std::vector<std::string>{}, workDir, input);
    for (int waited = 0; waited < 5000 && p->running(); waited += 20) {
      if (ReadFile(log).find("Tessaro gestartet") != std::string::npos) return p;
      SleepMs(20);
    }
    if (p->running() || p->output().find("Fehler Funktion bind\n") == std::string::npos) {
      *failure = "the program did not start:\n" + p->output();
      return nullptr;
    }
    p->wait(1000);
    SleepMs(500);
  } while (nowMs() < end);
  *failure = "port 1969 stayed busy";
  return nullptr;
}

CommandClient::CommandClient(int port, int timeoutMs) {
  const int64_t end = nowMs() + timeoutMs;
  while (true) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return;
    ::close(fd_);
    fd_ = -1;
    if (nowMs() > end) return;
    SleepMs(50);
  }
}

CommandClient::~CommandClient() { close(); }

void CommandClient::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void CommandClient::send(const std::string& bytes) {
  size_t sent = 0;
  while (fd_ >= 0 && sent < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

std::string CommandClient::receive(int quietMs, int timeoutMs) {
  std::string got;
  const int64_t end = nowMs() + timeoutMs;
  while (fd_ >= 0 && nowMs() < end) {
    pollfd p{fd_, POLLIN, 0};
    const int wait = got.empty() ? static_cast<int>(end - nowMs()) : quietMs;
    if (poll(&p, 1, wait > 0 ? wait : 0) <= 0) break;
    char buf[4096];
    const ssize_t n = recv(fd_, buf, sizeof buf, 0);
    if (n <= 0) break;
    got.append(buf, static_cast<size_t>(n));
  }
  return got;
}

bool CommandClient::closedByPeer(int timeoutMs) {
  const int64_t end = nowMs() + timeoutMs;
  while (fd_ >= 0 && nowMs() < end) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 50) > 0) {
      char buf[4096];
      const ssize_t n = recv(fd_, buf, sizeof buf, 0);
      if (n == 0 || (n < 0 && errno != EAGAIN)) return true;
    }
  }
  return false;
}
