#include "tests/support/Pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <thread>

Pty::Pty() {
  termios raw{};
  cfmakeraw(&raw);
  int slave = -1;
  char name[128];
  if (openpty(&master_, &slave, name, &raw, nullptr) != 0) {
    throw std::runtime_error("openpty failed");
  }
  slavePath_ = name;
  tcsetattr(master_, TCSANOW, &raw);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  close(slave);
}

Pty::~Pty() {
  closeMaster();
}

void Pty::closeMaster() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

void Pty::send(std::string_view bytes) {
  size_t done = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (done < bytes.size() && std::chrono::steady_clock::now() < deadline) {
    const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else {
      pollfd p{master_, POLLOUT, 0};
      poll(&p, 1, 10);
    }
  }
  if (done < bytes.size()) throw std::runtime_error("pty master: send failed");
}

std::string Pty::receive(size_t count, int timeoutMs) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (got.size() < count) {
    char buf[256];
    const ssize_t n = read(master_, buf, std::min(sizeof buf, count - got.size()));
    if (n > 0) {
      got.append(buf, static_cast<size_t>(n));
      continue;
    }
    // EAGAIN: nothing yet; EIO: the slave is not open at the moment.
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
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

bool WaitUntil(const std::function<bool()>& cond, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!cond()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void Link(const std::string& target, const std::string& path) {
  unlink(path.c_str());
  if (symlink(target.c_str(), path.c_str()) != 0) throw std::runtime_error("symlink failed");
}
