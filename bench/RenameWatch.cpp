#include "bench/RenameWatch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "bench/BenchSupport.h"

RenameWatch::RenameWatch(const std::string& directory, std::string name) : name_(std::move(name)) {
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0 || inotify_add_watch(fd_, directory.c_str(), IN_MOVED_TO) < 0) {
    Fail("cannot watch " + directory + ": " + std::strerror(errno));
  }
}

RenameWatch::~RenameWatch() {
  close(fd_);
}

void RenameWatch::drain() {
  alignas(inotify_event) char buffer[4096];
  while (read(fd_, buffer, sizeof buffer) > 0) {
  }
}

int64_t RenameWatch::next(int timeoutMs) {
  const int64_t end = NowNs() + int64_t{timeoutMs} * 1000000;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const long n = read(fd_, buffer, sizeof buffer);
    const int64_t now = NowNs();
    for (long at = 0; at < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
      if (e->len > 0 && name_ == e->name) return now;
      at += static_cast<long>(sizeof(inotify_event) + e->len);
    }
    if (now >= end) return -1;
    pollfd p{fd_, POLLIN, 0};
    poll(&p, 1, static_cast<int>((end - now) / 1000000) + 1);
  }
}
