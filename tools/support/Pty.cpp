#include "tools/support/Pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/support/Wait.h"

Pty::Pty() {
  termios raw{};
  cfmakeraw(&raw);
  int slave = -1;
  char name[128];
  if (openpty(&master_, &slave, name, &raw, nullptr) != 0) {
    master_ = -1;
    failure_ = std::string("openpty: ") + std::strerror(errno);
    return;
  }
  slavePath_ = name;
  tcsetattr(master_, TCSANOW, &raw);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  close(slave);
}

Pty::~Pty() {
  if (!link_.empty()) unlink(link_.c_str());
  closeMaster();
}

void Pty::closeMaster() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

bool Pty::linkFrom(const std::string& path) {
  if (!Link(slavePath_, path)) {
    failure_ = "symlink " + path + ": " + std::strerror(errno);
    return false;
  }
  link_ = path;
  return true;
}

bool Pty::send(std::string_view bytes, int patienceMs) {
  size_t done = 0;
  const int64_t end = NowMs() + patienceMs;
  while (done < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (NowMs() >= end) {
      return false;
    } else {
      pollfd p{master_, POLLOUT, 0};
      poll(&p, 1, 10);
    }
  }
  return true;
}

std::string Pty::receive(size_t count, int timeoutMs) {
  std::string got;
  const int64_t end = NowMs() + timeoutMs;
  while (got.size() < count) {
    char buf[256];
    const ssize_t n = read(master_, buf, std::min(sizeof buf, count - got.size()));
    if (n > 0) {
      got.append(buf, static_cast<size_t>(n));
      continue;
    }
    const int64_t left = end - NowMs();
    if (left <= 0) break;
    // EIO: the slave is not open at the moment, and poll would not wait.
    if (n < 0 && errno == EIO) {
      SleepMs(1);
    } else {
      pollfd p{master_, POLLIN, 0};
      poll(&p, 1, static_cast<int>(std::min<int64_t>(left, 10)));
    }
  }
  return got;
}

std::string Pty::drain(int quietMs) {
  std::string got;
  for (;;) {
    const std::string more = receive(4096, quietMs);
    if (more.empty()) return got;
    got += more;
  }
}

bool Link(const std::string& target, const std::string& path) {
  unlink(path.c_str());
  return symlink(target.c_str(), path.c_str()) == 0;
}
