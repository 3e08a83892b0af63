#pragma once

#include <string_view>

// Where the replies of one request go: the command client's connection, or a
// buffer in tests.
class ReplySink {
 public:
  virtual ~ReplySink() = default;
  virtual void send(std::string_view bytes) = 0;
};

// Formats a reply (cut to 1023 characters) and sends it without terminator.
void SendReply(ReplySink& reply, const char* format, ...) __attribute__((format(printf, 2, 3)));
