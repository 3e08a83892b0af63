#include "core/EventLog.h"

#include <algorithm>
#include <ctime>
#include <string_view>

#include "devices/DeviceContext.h"
#include "platform/FileSystem.h"
#include "protocol/InstallationPaths.h"

namespace {

// The list is built as 256-byte line reads would build it: a piece ends at
// a line end or after 255 bytes, and a NUL byte ends a piece's text.
constexpr size_t kLinePiece = 255;

std::string_view TakePiece(std::string_view& rest) {
  size_t n = std::min(rest.size(), kLinePiece);
  const size_t lineEnd = rest.substr(0, n).find('\n');
  if (lineEnd != std::string_view::npos) n = lineEnd + 1;
  const std::string_view piece = rest.substr(0, n);
  rest.remove_prefix(n);
  return piece.substr(0, piece.find('\0'));
}

}  // namespace

void EventLog::write(int32_t kind, const std::string& message) {
  char stamp[32];
  const std::tm& now = context_.CurrentTime.local;
  std::string entry = "\n";
  if (kind == kDayHeader) {
    entry.append(stamp, std::strftime(stamp, sizeof stamp, "----- %d.%m.%Y -----", &now));
  } else {
    entry.append(stamp, std::strftime(stamp, sizeof stamp, "%H:%M:%S", &now));
    if (user_ != nullptr) {
      entry += " [";
      entry += user_[0];
      entry += ']';
    }
    entry += ' ';
    entry += message;
  }
  if (context_.files.append(context_.path(kLogFile), entry)) LogChanged = true;
}

void EventLog::RefreshMessageList() {
  const std::optional<FileTail> tail = context_.files.readTail(context_.path(kLogFile), kTail);
  if (!tail) return;
  std::string_view rest = tail->bytes;
  // The tail cuts into an entry (or starts at its first byte): the rest of
  // that line goes, so only complete entries are shown.
  if (tail->size >= kTail) TakePiece(rest);
  MessageList.clear();
  while (!rest.empty()) MessageList += TakePiece(rest);
  if (MessageList.size() > kTail - 1) MessageList.resize(kTail - 1);
}
