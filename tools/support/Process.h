// Child processes for the tests and the benchmark: the real server, the
// simulators, the gateway and the programs they talk to.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A child started in a working directory with its standard input on a pipe
// the caller writes to and its standard output and error in a file beside
// the working directory.
class Process {
 public:
  // Where the child's standard input comes from: a pipe the test writes to,
  // or /dev/null (as a service manager starts a program).
  enum class Input { Pipe, DevNull };
  // Where standard error goes: with standard output, or to a file of its
  // own (as a script that captures the output sees them).
  enum class Errors { WithOutput, Apart };

  // env: "NAME=value" entries set in the child on top of the caller's own.
  Process(const std::string& program, const std::vector<std::string>& args,
          const std::string& workDir, Input input = Input::Pipe,
          const std::vector<std::string>& env = {}, Errors errors = Errors::WithOutput);
  ~Process();  // kills the child if it still runs
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  void writeInput(const std::string& bytes);
  void closeInput();
  void signal(int sig);
  // Waits up to timeoutMs for the exit; the exit status, or -1 on a timeout
  // or a death by signal.
  int wait(int timeoutMs);
  bool running();
  pid_t pid() const { return pid_; }
  std::string output() const;
  std::string errors() const;  // empty unless Errors::Apart
  // Waits up to timeoutMs until the output contains text.
  bool waitForOutput(const std::string& text, int timeoutMs) const;

 private:
  bool reap(int options);

  pid_t pid_ = -1;
  int input_ = -1;
  std::string outputPath_;
  std::string errorsPath_;
  int status_ = -1;
  bool reaped_ = false;
};

// How long a test waits for port 1969 while another program holds it: a
// benchmark run takes minutes.
constexpr int kPortWaitMs = 600000;

// The server program started in workDir once it has port 1969 to itself: it
// is ready when its log holds "Tessaro gestartet". While another program on
// this machine holds the port, the server ends with "Fehler Funktion bind"
// and is started again, for up to retryMs. nullptr when it did not start;
// then *failure tells why.
std::unique_ptr<Process> StartServer(const std::string& program, const std::string& workDir,
                                     std::string* failure,
                                     Process::Input input = Process::Input::Pipe,
                                     int retryMs = kPortWaitMs,
                                     const std::vector<std::string>& env = {});

// The port of the "tessaro_gateway: http://127.0.0.1:PORT/" line (https
// with TLS) the gateway prints once it listens; nothing before that line is
// complete.
std::optional<uint16_t> ParseGatewayPort(std::string_view console);

// The gateway program started in workDir with "--http 127.0.0.1:0" and
// args: the port it listens on, once it says so within 10 s; 0 when it did
// not come up (its output tells why).
uint16_t StartGateway(const std::string& program, std::vector<std::string> args,
                      const std::string& workDir, std::unique_ptr<Process>* gateway,
                      Process::Input input = Process::Input::DevNull);
