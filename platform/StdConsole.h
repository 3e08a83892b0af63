#pragma once

#include "platform/Console.h"

// The process's own console: standard output for the report, standard input
// for keys. A terminal on standard input is switched to single-key, no-echo
// mode for the lifetime of this object and restored on every way out.
// SIGINT, SIGTERM and SIGHUP only raise the stop request; SIGPIPE is ignored.
// Only one StdConsole may exist at a time.
class StdConsole final : public Console {
 public:
  StdConsole();
  ~StdConsole() override;
  StdConsole(const StdConsole&) = delete;
  StdConsole& operator=(const StdConsole&) = delete;

  void write(std::string_view text) override;
  int readKey() override;
  bool stopRequested() override;

 private:
  bool watchingInput_ = true;
};
