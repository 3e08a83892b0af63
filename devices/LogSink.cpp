#include "devices/LogSink.h"

#include <cstdarg>

#include "base/Text.h"

void LogSink::LogEvent(int32_t kind, const char* format, ...) {
  if (kind == kDayHeader) {
    write(kind, std::string());
    return;
  }
  va_list args;
  va_start(args, format);
  const std::string message = vformatCut(kMaxMessage, format, args);
  va_end(args);
  write(kind, message);
}
