#include "platform/PosixFileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

// Closes the descriptor at the end of the scope.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  // A failed close can mean lost bytes (NFS, a full disk): it is a failure.
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

int openFile(const std::string& path, int flags) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Reads from offset to the end into out; false on a read error (EISDIR).
bool readRest(int fd, off_t offset, std::string& out) {
  char block[65536];
  for (;;) {
    const ssize_t n = ::pread(fd, block, sizeof block, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    out.append(block, static_cast<size_t>(n));
    offset += n;
  }
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// The rename lives in the directory's blocks, which have a flush of their own.
bool syncDirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  Fd fd(openFile(dir, O_RDONLY | O_DIRECTORY));
  return fd.ok() && ::fsync(fd.get()) == 0;
}

}  // namespace

std::optional<std::string> PosixFileSystem::readWhole(const std::string& path) {
  Fd fd(openFile(path, O_RDONLY));
  std::string bytes;
  if (!fd.ok() || !readRest(fd.get(), 0, bytes)) return std::nullopt;
  return bytes;
}

std::optional<FileTail> PosixFileSystem::readTail(const std::string& path, size_t max) {
  Fd fd(openFile(path, O_RDONLY));
  struct stat st {};
  if (!fd.ok() || ::fstat(fd.get(), &st) != 0) return std::nullopt;
  FileTail tail;
  tail.size = static_cast<uint64_t>(st.st_size);
  const off_t from = tail.size > max ? static_cast<off_t>(tail.size - max) : 0;
  if (!readRest(fd.get(), from, tail.bytes)) return std::nullopt;
  // The file may have grown since fstat; the tail is what was read.
  if (tail.bytes.size() > max) tail.bytes.erase(0, tail.bytes.size() - max);
  return tail;
}

bool PosixFileSystem::append(const std::string& path, std::string_view bytes) {
  Fd fd(openFile(path, O_WRONLY | O_CREAT | O_APPEND));
  if (!fd.ok()) return false;
  const bool written = writeAll(fd.get(), bytes);
  return fd.close() && written;
}

bool PosixFileSystem::replace(const std::string& path, std::string_view bytes) {
  return replaceFile(path, bytes, false);
}

bool PosixFileSystem::replaceDurably(const std::string& path, std::string_view bytes) {
  return replaceFile(path, bytes, true);
}

bool PosixFileSystem::replaceFile(const std::string& path, std::string_view bytes, bool durable) {
  const std::string temp = path + ".tmp";
  Fd fd(openFile(temp, O_WRONLY | O_CREAT | O_TRUNC));
  if (!fd.ok()) return false;
  // Without the flush a power cut after the rename can leave an empty file.
  const bool written = writeAll(fd.get(), bytes) && (!durable || ::fsync(fd.get()) == 0);
  // A short write (a full disk) must not replace a complete file.
  if (!fd.close() || !written || std::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return !durable || syncDirectoryOf(path);
}
