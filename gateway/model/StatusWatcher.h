#pragma once

#include <atomic>
#include <string>
#include <thread>

class FileSystem;
class Model;

// Follows the status files in ../debug as they are meant to be read: inotify
// on their renames, polling while the directory cannot be watched (it does
// not exist yet, or went), and a look at the clock at least four times a
// second so a stopped server shows as down within StateAssembler::kStale.
// The configuration is read again with every new slow file: the server may
// have been restarted with another one.
class StatusWatcher {
 public:
  // workDir is the installation's working directory ("." for the process's own).
  // Without inotify it only polls, as where the directory cannot be watched.
  StatusWatcher(FileSystem& files, std::string workDir, Model& model, bool inotify = true);
  ~StatusWatcher();
  StatusWatcher(const StatusWatcher&) = delete;
  StatusWatcher& operator=(const StatusWatcher&) = delete;

  void start();
  void stop();

 private:
  void run();

  FileSystem& files_;
  std::string workDir_;
  std::string debugDir_;
  Model& model_;
  bool inotify_;
  int wake_ = -1;  // eventfd that ends the thread's wait
  std::thread thread_;
};
