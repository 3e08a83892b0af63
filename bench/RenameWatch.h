#pragma once

#include <cstdint>
#include <string>

// inotify on a directory for files renamed into it under one name, as the
// gateway follows the status files: how soon a client can see a rewrite.
class RenameWatch {
 public:
  // Ends the run when the directory cannot be watched.
  RenameWatch(const std::string& directory, std::string name);
  ~RenameWatch();
  RenameWatch(const RenameWatch&) = delete;
  RenameWatch& operator=(const RenameWatch&) = delete;

  // Forgets the renames seen so far.
  void drain();

  // When the next rename of the name was seen (NowNs's clock), or -1 after
  // timeoutMs without one.
  int64_t next(int timeoutMs);

 private:
  int fd_ = -1;
  std::string name_;
};
