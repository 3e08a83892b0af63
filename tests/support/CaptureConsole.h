#pragma once

#include <deque>
#include <string>
#include <utility>

#include "platform/Console.h"

// A console that keeps the report in memory and plays keys a test queued.
class CaptureConsole final : public Console {
 public:
  void write(std::string_view text) override { output_.append(text); }
  int readKey() override {
    if (keys_.empty()) return -1;
    const int key = keys_.front();
    keys_.pop_front();
    return key;
  }
  bool stopRequested() override { return stop_; }

  void pressKey(int key) { keys_.push_back(key); }
  void requestStop() { stop_ = true; }
  // Everything written so far; take() also forgets it.
  const std::string& output() const { return output_; }
  std::string take() { return std::exchange(output_, std::string()); }

 private:
  std::string output_;
  std::deque<int> keys_;
  bool stop_ = false;
};
