#include "platform/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace {

SerialError Fail(const char* call) {
  return SerialError{call, errno};
}

// termios knows only its fixed rates.
bool SpeedOf(int32_t baudRate, speed_t& speed) {
  static constexpr struct {
    int32_t rate;
    speed_t speed;
  } kRates[] = {
      {50, B50},           {75, B75},           {110, B110},         {134, B134},
      {150, B150},         {200, B200},         {300, B300},         {600, B600},
      {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
      {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
      {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
      {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
      {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
      {3500000, B3500000}, {4000000, B4000000},
  };
  for (const auto& r : kRates) {
    if (r.rate == baudRate) {
      speed = r.speed;
      return true;
    }
  }
  return false;
}

}  // namespace

bool SerialError::notFound() const {
  return !ok() && code == ENOENT;
}

SerialError SerialPort::open(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Fail("open");
  if (ioctl(fd, TIOCEXCL) != 0) {
    const SerialError e = Fail("ioctl(TIOCEXCL)");
    ::close(fd);
    return e;
  }
  fd_ = fd;
  return SerialError{};
}

SerialError SerialPort::configure(const SerialSettings& s) {
  termios tio{};
  if (tcgetattr(fd_, &tio) != 0) return Fail("tcgetattr");
  speed_t speed;
  if (!SpeedOf(s.baudRate, speed)) return SerialError{"cfsetspeed", EINVAL};

  cfmakeraw(&tio);
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | IGNPAR | PARMRK | INPCK);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  tio.c_cflag |= CLOCAL | CREAD | (s.dataBits == 7 ? CS7 : CS8);
  switch (s.parity) {
    case Parity::None:
      break;
    case Parity::Even:
      tio.c_cflag |= PARENB;
      break;
    case Parity::Odd:
      tio.c_cflag |= PARENB | PARODD;
      break;
    case Parity::Space:
      tio.c_cflag |= PARENB | CMSPAR;
      break;
    case Parity::Mark:
      tio.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
  }
  if (s.parity != Parity::None) tio.c_iflag |= INPCK;
  if (s.stopBits == 2) tio.c_cflag |= CSTOPB;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0) return Fail("cfsetspeed");
  if (tcsetattr(fd_, TCSANOW, &tio) != 0) return Fail("tcsetattr");

  // A pseudo-terminal or an adapter without modem lines answers ENOTTY: it
  // has no DTR or RTS to raise, which is no reason to refuse the port.
  const int lines = TIOCM_DTR | TIOCM_RTS;
  if (ioctl(fd_, TIOCMBIS, &lines) != 0 && errno != ENOTTY) return Fail("ioctl(TIOCMBIS)");

  writeMsPerByte_ = s.writeMsPerByte;
  writeMsConstant_ = s.writeMsConstant;
  return SerialError{};
}

void SerialPort::close() {
  if (fd_ < 0) return;
  // Without this a later open by another user would find the device claimed.
  ioctl(fd_, TIOCNXCL);
  ::close(fd_);  // never retried: Linux releases the descriptor even on EINTR
  fd_ = -1;
}

SerialTransfer SerialPort::read(void* buffer, size_t max) {
  if (max == 0) return SerialTransfer{};
  ssize_t n;
  do {
    n = ::read(fd_, buffer, max);
  } while (n < 0 && errno == EINTR);
  if (n >= 0) return SerialTransfer{static_cast<size_t>(n), {}};
  if (errno == EAGAIN || errno == EWOULDBLOCK) return SerialTransfer{};
  return SerialTransfer{0, Fail("read")};
}

SerialTransfer SerialPort::write(const void* bytes, size_t count) {
  using Clock = std::chrono::steady_clock;
  const int64_t timeoutMs = writeMsPerByte_ * static_cast<int64_t>(count) + writeMsConstant_;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  const char* p = static_cast<const char*>(bytes);
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd_, p + done, count - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      return SerialTransfer{done, Fail("write")};
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd pfd{fd_, POLLOUT, 0};
    poll(&pfd, 1, static_cast<int>(left));  // a hang-up shows in the next write
  }
  return SerialTransfer{done, {}};
}

SerialTransfer SerialPort::inQueue() const {
  int n = 0;
  if (ioctl(fd_, TIOCINQ, &n) != 0) return SerialTransfer{0, Fail("ioctl(TIOCINQ)")};
  return SerialTransfer{static_cast<size_t>(n), {}};
}

SerialTransfer SerialPort::outQueue() const {
  int n = 0;
  if (ioctl(fd_, TIOCOUTQ, &n) != 0) return SerialTransfer{0, Fail("ioctl(TIOCOUTQ)")};
  return SerialTransfer{static_cast<size_t>(n), {}};
}
