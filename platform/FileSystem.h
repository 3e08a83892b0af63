#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The end of a file as FileSystem::readTail gives it.
struct FileTail {
  std::string bytes;  // the last min(size, max) bytes
  uint64_t size = 0;  // of the whole file
};

// Every file the program reads or writes goes through one FileSystem, so an
// installation can run in memory and any file can be made to fail. Paths are
// as the program builds them: absolute, or relative to the process's working
// directory. Failures are results; nothing is thrown and nothing is printed.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The whole file; nothing when it is missing or cannot be read (a
  // directory, no permission).
  virtual std::optional<std::string> readWhole(const std::string& path) = 0;

  // The file's last max bytes (all of a shorter file) and its size; nothing
  // as for readWhole.
  virtual std::optional<FileTail> readTail(const std::string& path, size_t max) = 0;

  // Appends bytes, creating the file. False when it cannot be opened or not
  // all bytes were written.
  virtual bool append(const std::string& path, std::string_view bytes) = 0;

  // Replaces the file by bytes through "<path>.tmp" beside it, so a reader
  // sees the old file or the new one, never a part. False, with the old file
  // untouched and no temporary file left, when anything fails.
  virtual bool replace(const std::string& path, std::string_view bytes) = 0;

  // As replace, and on the disk when it returns true: the new bytes before
  // the rename, the rename before the return. For files a person wrote, which
  // a power cut must not take back; a status file rewritten ten times a
  // second wants replace, which spares the disk the flushes. When only the
  // last flush (of the directory) fails, the new file is in place but the
  // result is false: it may not survive a power cut.
  virtual bool replaceDurably(const std::string& path, std::string_view bytes) = 0;
};
