#include "tests/support/FaultHarness.h"

#include <poll.h>

#include <algorithm>

#include "tools/support/ProcStatus.h"

namespace {

constexpr char kDebugRequest[] = "cmd=debug&username=check&enaoutp=1\r\n";

}  // namespace

Resources ReadResources(pid_t pid) {
  Resources r;
  for (int i = 0; i < 5; ++i) {
    const int n = OpenDescriptors(pid);
    if (n >= 0 && (r.fds < 0 || n < r.fds)) r.fds = n;
    SleepMs(20);
  }
  r.rssKiB = VmRssKiB(pid);
  return r;
}

::testing::AssertionResult NoGrowth(const Resources& before, const Resources& after,
                                    long slackKiB) {
  if (before.fds < 0 || after.fds < 0) return ::testing::AssertionFailure() << "no /proc entry";
  if (after.fds != before.fds) {
    return ::testing::AssertionFailure() << "descriptors " << before.fds << " -> " << after.fds;
  }
#if !defined(__SANITIZE_ADDRESS__)
  if (after.rssKiB > before.rssKiB + slackKiB) {
    return ::testing::AssertionFailure()
           << "VmRSS " << before.rssKiB << " KiB -> " << after.rssKiB << " KiB";
  }
#else
  (void)slackKiB;
#endif
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult Serves(int timeoutMs) {
  const int64_t end = NowMs() + timeoutMs;
  // The server takes one client at a time: a client it has not yet noticed
  // to be gone may hold it for a pass or two, so connecting is retried.
  while (NowMs() < end) {
    CommandClient client(1969, static_cast<int>(std::max<int64_t>(end - NowMs(), 1)));
    if (!client.connected()) break;
    client.send(kDebugRequest);
    const int left = static_cast<int>(end - NowMs());
    const std::string reply = client.receive(50, std::max(left, 1));
    if (reply == "ok\r\n") return ::testing::AssertionSuccess();
    if (!reply.empty()) return ::testing::AssertionFailure() << "debug reply: '" << reply << "'";
  }
  return ::testing::AssertionFailure() << "no reply to the debug request within " << timeoutMs
                                       << " ms";
}

::testing::AssertionResult StatusFilesComplete(const std::string& debugDir) {
  const std::string fast = ReadFile(debugDir + "/fast.xml");
  const std::string slow = ReadFile(debugDir + "/slow.xml");
  if (fast.size() < 8 || fast.compare(fast.size() - 8, 8, "</fast>\n") != 0) {
    return ::testing::AssertionFailure() << "fast.xml incomplete:\n" << fast;
  }
  if (slow.size() < 7 || slow.compare(slow.size() - 7, 7, "</slow>") != 0) {
    return ::testing::AssertionFailure() << "slow.xml incomplete:\n" << slow;
  }
  if (auto r = WellFormedXml(fast); !r) return r << " in fast.xml:\n" << fast;
  if (auto r = WellFormedXml(slow); !r) return r << " in slow.xml:\n" << slow;
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult Eventually(const std::function<::testing::AssertionResult()>& check,
                                      int timeoutMs) {
  ::testing::AssertionResult last = ::testing::AssertionFailure();
  WaitUntil([&] { return static_cast<bool>(last = check()); }, timeoutMs);
  return last;
}

BlastResult Blast(const std::string& bytes, bool readWhileSending, int quietMs) {
  // A small receive window for a client that does not read, so that unread
  // replies back up soon.
  CommandClient client(1969, 0, readWhileSending ? 0 : 4096);
  BlastResult r;
  const int64_t end = NowMs() + 60000;
  while (client.connected() && !client.peerGone() && r.sent < bytes.size() && NowMs() < end) {
    pollfd p{client.fd(), static_cast<short>(POLLOUT | (readWhileSending ? POLLIN : 0)), 0};
    poll(&p, 1, 50);
    if (readWhileSending) client.received();
    // A pending error fails the send, which tells that the peer is gone.
    if (p.revents & (POLLOUT | POLLERR)) {
      r.sent += client.trySend(std::string_view(bytes).substr(r.sent, 65536));
    }
  }
  while (client.connected() && !client.peerGone() && client.waitReadable(quietMs)) {
    client.received();
  }
  r.replies = client.received();
  r.peerClosed = !client.connected() || client.peerGone();
  return r;
}
