#include "core/Reply.h"

#include <cstdarg>

#include "base/Text.h"

void SendReply(ReplySink& reply, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = vformatCut(1023, format, args);
  va_end(args);
  reply.send(text);
}
