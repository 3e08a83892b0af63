#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// A program the benchmark runs: in workDir, standard input /dev/null,
// standard output and error into console, killed when the benchmark dies
// (a benchmark killed half-way must not leave a server on the port).
pid_t SpawnChild(const std::vector<std::string>& argv, const std::string& workDir,
                 const std::string& console);

// SIGTERM, as a service manager stops it, and up to 5 s for it to end: the
// exit status, or -1 (killed then).
int StopChild(pid_t pid);

void KillChild(pid_t pid);

// The exit status of a child that has ended (128 after a signal), or -1
// while it runs.
int EndedChild(pid_t pid);
