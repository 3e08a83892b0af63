#include "bench/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/BenchSupport.h"

pid_t SpawnChild(const std::vector<std::string>& argv, const std::string& workDir,
                 const std::string& console) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) Fail("fork failed");
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(console.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || chdir(workDir.c_str()) != 0) _exit(126);
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    execv(args[0], args.data());
    _exit(127);
  }
  return pid;
}

int StopChild(pid_t pid) {
  kill(pid, SIGTERM);
  for (int i = 0; i < 500; ++i) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    SleepUs(10000);
  }
  KillChild(pid);
  return -1;
}

void KillChild(pid_t pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

int EndedChild(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, WNOHANG) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}
