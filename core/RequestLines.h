#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Assembles request lines from the bytes of successive receives. Every
// complete line is handed over at once, in order; the bytes after the last
// line feed wait for the next receive. A line that reaches 1024 characters
// before its line feed is reported once and dropped up to and including its
// line feed.
class RequestLines {
 public:
  static constexpr size_t kMaxLine = 1023;

  class Handler {
   public:
    virtual ~Handler() = default;
    // A complete line without its line feed, cut at a zero byte; never empty.
    virtual void onLine(std::string_view line) = 0;
    virtual void onTooLong() = 0;
    // False stops the handing over of this receive's remaining lines.
    virtual bool wantsMore() { return true; }
  };

  void CollectRequestLine(const char* bytes, size_t count, Handler& handler);

  // Forgets an incomplete line: it belonged to a client that has gone.
  void reset();

 private:
  std::string line_;
  bool tooLong_ = false;
};
