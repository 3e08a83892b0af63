// What a process holds, as /proc tells it.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <string_view>

// Open descriptors of pid; -1 when it has no /proc entry.
int OpenDescriptors(pid_t pid);

// Resident memory (VmRSS) of pid in KiB; -1 when it cannot be read.
long VmRssKiB(pid_t pid);

// The "Key:   123 kB" lines of /proc/<pid>/status or smaps_rollup, by key.
std::map<std::string, double> ParseKiB(std::string_view text);
