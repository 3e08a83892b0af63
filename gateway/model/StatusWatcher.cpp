#include "gateway/model/StatusWatcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

#include "gateway/model/Model.h"
#include "gateway/model/StateAssembler.h"
#include "platform/FileSystem.h"
#include "protocol/InstallationPaths.h"

namespace {

using Clock = StateAssembler::Clock;

// What tells one version of a file from the next: every replace is a new
// inode, every rewrite a new modification time.
struct Identity {
  ino_t inode = 0;
  timespec mtime{};
  off_t size = -1;
  bool operator==(const Identity& o) const {
    return inode == o.inode && mtime.tv_sec == o.mtime.tv_sec &&
           mtime.tv_nsec == o.mtime.tv_nsec && size == o.size;
  }
};

Identity identityOf(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return {};
  return {st.st_ino, st.st_mtim, st.st_size};
}

class Inotify {
 public:
  Inotify() : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
  ~Inotify() {
    if (fd_ >= 0) close(fd_);
  }
  int fd() const { return fd_; }
  bool watching() const { return watch_ >= 0; }

  bool watch(const std::string& dir) {
    watch_ = inotify_add_watch(fd_, dir.c_str(),
                               IN_MOVED_TO | IN_CLOSE_WRITE | IN_DELETE | IN_DELETE_SELF |
                                   IN_MOVE_SELF | IN_ONLYDIR);
    return watch_ >= 0;
  }

  // Reads the waiting events; sets the flags for the files they name. The
  // directory's own end, or lost events, count as a change of both.
  void drain(bool& fast, bool& slow) {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) return;
      for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        if (e->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_Q_OVERFLOW)) {
          if (!(e->mask & IN_Q_OVERFLOW) && watch_ >= 0) {
            inotify_rm_watch(fd_, watch_);
            watch_ = -1;
          }
          fast = slow = true;
          continue;
        }
        const std::string_view name = e->len > 0 ? e->name : "";
        if (name == "fast.xml") fast = true;
        if (name == "slow.xml") slow = true;
      }
    }
  }

 private:
  int fd_;
  int watch_ = -1;
};

}  // namespace

StatusWatcher::StatusWatcher(FileSystem& files, std::string workDir, Model& model, bool inotify)
    : files_(files),
      workDir_(std::move(workDir)),
      debugDir_(InstallationPath(workDir_, kStatusDir)),
      model_(model),
      inotify_(inotify),
      wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

StatusWatcher::~StatusWatcher() {
  stop();
  if (wake_ >= 0) close(wake_);
}

void StatusWatcher::start() { thread_ = std::thread([this] { run(); }); }

void StatusWatcher::stop() {
  if (!thread_.joinable()) return;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = write(wake_, &one, sizeof one);
  thread_.join();
}

void StatusWatcher::run() {
  const std::string fastPath = debugDir_ + "/fast.xml";
  const std::string slowPath = debugDir_ + "/slow.xml";
  StateAssembler assembler;
  Inotify inotify;
  Identity fastSeen, slowSeen;
  bool fast = true, slow = true;
  for (;;) {
    if (inotify_ && !inotify.watching() && inotify.watch(debugDir_)) fast = slow = true;
    // While watching, the events wake the thread; the timeout only serves
    // the staleness check. Without a watch it is the polling interval.
    pollfd fds[2] = {{wake_, POLLIN, 0}, {inotify.fd(), POLLIN, 0}};
    if (!fast && !slow) poll(fds, 2, inotify.watching() ? 250 : 100);
    if (fds[0].revents & POLLIN) return;
    if (fds[1].revents & POLLIN) inotify.drain(fast, slow);
    if (!inotify.watching()) {
      const Identity f = identityOf(fastPath), s = identityOf(slowPath);
      fast = fast || !(f == fastSeen);
      slow = slow || !(s == slowSeen);
    }
    const Clock::time_point now = Clock::now();
    if (fast) {
      fastSeen = identityOf(fastPath);
      const std::optional<std::string> text = files_.readWhole(fastPath);
      assembler.onFast(text ? std::optional<std::string_view>(*text) : std::nullopt, now);
    }
    if (slow) {
      slowSeen = identityOf(slowPath);
      assembler.setInstallation(ReadInstallation(files_, workDir_));
      const std::optional<std::string> text = files_.readWhole(slowPath);
      assembler.onSlow(text ? std::optional<std::string_view>(*text) : std::nullopt);
    }
    fast = slow = false;
    model_.update(assembler.state(now));
  }
}
