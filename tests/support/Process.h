#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

// A child process for the tests that run the real binary: started in a
// working directory with its standard input on a pipe the test writes to and
// its standard output in a file the test reads.
class Process {
 public:
  // Where the child's standard input comes from: a pipe the test writes to,
  // or /dev/null (as a service manager starts a program).
  enum class Input { Pipe, DevNull };

  Process(const std::string& program, const std::vector<std::string>& args,
          const std::string& workDir, Input input = Input::Pipe);
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
  // Waits up to timeoutMs until the output contains text.
  bool waitForOutput(const std::string& text, int timeoutMs) const;

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  std::string outputPath_;
  int status_ = -1;
  bool reaped_ = false;
};

// The server program started in workDir once it has port 1969 to itself: it
// is ready when its log holds "Tessaro gestartet". While another test run on
// this machine holds the port, the program ends with "Fehler Funktion bind"
// and is started again, for up to retryMs. nullptr when it did not start;
// then *failure tells why.
std::unique_ptr<Process> StartServer(const std::string& program, const std::string& workDir,
                                     std::string* failure,
                                     Process::Input input = Process::Input::Pipe,
                                     int retryMs = 120000);

// A line-oriented loopback TCP client for the command port.
class CommandClient {
 public:
  // Tries for up to timeoutMs to connect to 127.0.0.1:port.
  explicit CommandClient(int port, int timeoutMs = 5000);
  ~CommandClient();
  bool connected() const { return fd_ >= 0; }
  void send(const std::string& bytes);
  // Collects what arrives until nothing more comes for quietMs (or the peer
  // closes), at most timeoutMs in all.
  std::string receive(int quietMs = 200, int timeoutMs = 3000);
  // send + receive.
  std::string request(const std::string& line) {
    send(line);
    return receive();
  }
  // True when the peer has closed the connection within timeoutMs.
  bool closedByPeer(int timeoutMs);
  void close();

 private:
  int fd_ = -1;
};

// Sleeps for ms milliseconds (the system tests wait for a real process).
void SleepMs(int ms);
