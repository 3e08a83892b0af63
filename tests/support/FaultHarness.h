#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <string>

#include "tests/support/ServerInstallation.h"
#include "tests/support/Xml.h"
#include "tools/support/Bytes.h"

// Helpers for the fault-injection cases: each runs the real program in a
// temporary installation, injects one fault and then checks that the loop
// still serves, that nothing it wrote is lost or torn, and that it holds no
// more descriptors or memory than before.

// What the process holds: open descriptors and resident memory.
struct Resources {
  int fds = -1;
  long rssKiB = -1;
};
// The smallest descriptor count over a few samples (the program opens its
// files for single operations) and the resident set size.
Resources ReadResources(pid_t pid);
// Descriptors exactly back, memory within slack (not judged under ASan, whose
// quarantine holds freed memory; its leak check at exit judges it instead).
::testing::AssertionResult NoGrowth(const Resources& before, const Resources& after,
                                    long slackKiB = 512);

// A fresh client's debug request is answered "ok\r\n" within timeoutMs.
::testing::AssertionResult Serves(int timeoutMs = 10000);

// Both status files in debugDir exist, are complete and well-formed.
::testing::AssertionResult StatusFilesComplete(const std::string& debugDir);

// The last result of check, which is tried until it succeeds, for at most
// timeoutMs.
::testing::AssertionResult Eventually(const std::function<::testing::AssertionResult()>& check,
                                      int timeoutMs = 10000);

struct BlastResult {
  std::string replies;
  bool peerClosed = false;  // the server ended the connection
  size_t sent = 0;          // bytes the client got out before that
};
// Sends bytes on a fresh connection and collects the replies until the peer
// closes or nothing comes for quietMs; the client reads while it sends
// unless readWhileSending is false.
BlastResult Blast(const std::string& bytes, bool readWhileSending, int quietMs = 300);
