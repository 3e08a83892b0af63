#include "core/EventLog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/Tessaro.h"
#include "core/Text.h"

void EventLog::LogEvent(int32_t kind, const char* format, ...) {
  std::FILE* f = std::fopen(t_.path("logfile.txt").c_str(), "ab");
  if (f == nullptr) return;

  char stamp[32];
  const std::tm& now = t_.CurrentTime.local;
  if (kind == kDayHeader) {
    std::strftime(stamp, sizeof stamp, "----- %d.%m.%Y -----", &now);
    std::fprintf(f, "\n%s", stamp);
  } else {
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &now);
    va_list args;
    va_start(args, format);
    const std::string message = vformatCut(kMaxMessage, format, args);
    va_end(args);
    if (t_.CurrentUser != nullptr) {
      std::fprintf(f, "\n%s [%c] %s", stamp, t_.CurrentUser[0], message.c_str());
    } else {
      std::fprintf(f, "\n%s %s", stamp, message.c_str());
    }
  }
  std::fclose(f);
  LogChanged = true;
}

void EventLog::RefreshMessageList() {
  std::FILE* f = std::fopen(t_.path("logfile.txt").c_str(), "rb");
  if (f == nullptr) return;

  char line[256];
  std::fseek(f, 0, SEEK_END);
  const long size = std::ftell(f);
  if (size < static_cast<long>(kTail)) {
    std::rewind(f);
  } else {
    // The positioning cuts into an entry (or lands on its first byte): drop
    // the rest of that line so only complete entries are shown.
    std::fseek(f, -static_cast<long>(kTail), SEEK_END);
    if (std::fgets(line, sizeof line, f) == nullptr) line[0] = '\0';
  }
  MessageList.clear();
  while (std::fgets(line, sizeof line, f) != nullptr) {
    MessageList.append(line, std::strlen(line));
  }
  if (MessageList.size() > kTail - 1) MessageList.resize(kTail - 1);
  std::fclose(f);
}
