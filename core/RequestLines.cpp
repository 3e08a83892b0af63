#include "core/RequestLines.h"

void RequestLines::CollectRequestLine(const char* bytes, size_t count, Handler& handler) {
  for (size_t i = 0; i < count && handler.wantsMore(); ++i) {
    const char c = bytes[i];
    if (c == '\n') {
      if (!tooLong_) {
        const std::string_view text = std::string_view(line_).substr(0, line_.find('\0'));
        if (!text.empty()) handler.onLine(text);
      }
      line_.clear();
      tooLong_ = false;
    } else if (!tooLong_) {
      if (line_.size() == kMaxLine) {
        line_.clear();
        tooLong_ = true;
        handler.onTooLong();
      } else {
        line_ += c;
      }
    }
  }
}

void RequestLines::reset() {
  line_.clear();
  tooLong_ = false;
}
