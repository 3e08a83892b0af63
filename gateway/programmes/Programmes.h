#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "gateway/model/Installation.h"
#include "timeswitch/ControlFile.h"

class CommandQueue;
class FileSystem;
class Model;

// A request body that holds the largest programme the server reads: 512
// points, each with the longest comment a line can hold, every character of
// it written as a 6-byte \u escape, and room for the fields and their names.
inline constexpr size_t kMaxProgrammeBody =
    static_cast<size_t>(kMaxSwitchPoints) * (6 * kControlLinePiece + 128);

struct ProgrammeAnswer {
  int status = 200;
  nlohmann::json body;
};

// The week programmes of the control files that Tessaro.ini names, read and
// saved for the web face, with plain values and JSON and nothing of HTTP.
// A file is known by its index in list(); the path is the one the server
// opens, never anything a client sends. Thread-safe.
class Programmes {
 public:
  // files: where the control files are read and written; workDir: the
  // installation's working directory, which relative names are taken from;
  // installation: reads the configuration as it is now.
  Programmes(FileSystem& files, std::string workDir, std::function<Installation()> installation,
             const Model& model, CommandQueue& queue);

  // {"programmes": [{"n": 0, "file": NAME, "channels": [{"n": 3, "name": ...}]}]}
  nlohmann::json list() const;
  // {"file", "channels", "points", "version"}; 404 for no such file, 500
  // when it cannot be read.
  ProgrammeAnswer get(size_t n) const;
  // Saves body's "points" over the content whose "version" it names, keeps
  // that content as NAME.bak, and has every channel in mode uhr that uses
  // the file read it again, with a dout request as requestUser (ISO 8859-1,
  // see RequestUser). done is called exactly once, possibly on the command
  // queue's thread: the caller's thread never waits for the commands.
  void put(size_t n, const nlohmann::json& body, const std::string& requestUser,
           std::function<void(ProgrammeAnswer)> done);

 private:
  struct File {
    std::string name;  // as Tessaro.ini writes it, UTF-8
    std::string path;  // as the server opens it, ISO 8859-1
    nlohmann::json channels;
    std::vector<int> numbers;
  };
  std::vector<File> files() const;
  // The whole answer of get for a file's bytes.
  static nlohmann::json content(const File& file, const std::string& bytes);

  FileSystem& files_;
  std::string workDir_;
  std::function<Installation()> installation_;
  const Model& model_;
  CommandQueue& queue_;
  // One save at a time: the check of the version and the write are one step.
  std::mutex saving_;
};
