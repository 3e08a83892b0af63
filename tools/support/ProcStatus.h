// What a process holds, as /proc tells it.
#pragma once

#include <sys/types.h>

// Open descriptors of pid; -1 when it has no /proc entry.
int OpenDescriptors(pid_t pid);

// Resident memory (VmRSS) of pid in KiB; -1 when it cannot be read.
long VmRssKiB(pid_t pid);
