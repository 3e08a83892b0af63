#include "timeswitch/ControlFile.h"

#include <algorithm>
#include <limits>

#include "base/Text.h"

namespace {

// Splits text at runs of sep; leading separators are skipped, so no field
// is ever empty. At most max fields are returned, the rest is ignored.
std::vector<std::string_view> splitFields(std::string_view text, char sep, size_t max) {
  std::vector<std::string_view> fields;
  size_t at = 0;
  while (fields.size() < max) {
    at = text.find_first_not_of(sep, at);
    if (at == std::string_view::npos) break;
    const size_t end = std::min(text.find(sep, at), text.size());
    fields.push_back(text.substr(at, end - at));
    at = end;
  }
  return fields;
}

// Appends the points of one line (one piece of at most kControlLinePiece
// characters); false once the limit is reached and reading has to stop.
bool parseLine(std::string_view line, int32_t weekTime, RawSwitchPoints& raw) {
  if (line.empty() || line.front() == ';') return true;
  line = line.substr(0, line.find(';'));

  const std::vector<std::string_view> fields = splitFields(line, ' ', 3);
  if (fields.size() < 3) return true;
  const std::string_view mask = fields[0];
  if (mask.size() != 7) return true;

  // Hours and minutes have no range: 25:90 is a valid time of day.
  const std::vector<std::string_view> parts = splitFields(fields[1], ':', 2);
  const int64_t hour = parts.empty() ? 0 : parseInt(parts[0]);
  const int64_t minute = parts.size() < 2 ? 0 : parseInt(parts[1]);
  const uint8_t on = fields[2] == "on" ? 1 : 0;

  for (int32_t day = 0; day < 7; ++day) {
    if (mask[static_cast<size_t>(day)] == '0') continue;
    int64_t time = int64_t{day} * kDaySeconds + hour * 3600 + minute * 60;
    if (time < weekTime) time += kWeekSeconds;
    // Absurd hours land outside the two weeks the merge looks at.
    if (time > std::numeric_limits<int32_t>::max()) time = std::numeric_limits<int32_t>::max();
    if (time < std::numeric_limits<int32_t>::min()) time = std::numeric_limits<int32_t>::min();
    raw.points.push_back({static_cast<int32_t>(time), on});
    if (raw.points.size() >= static_cast<size_t>(kMaxSwitchPoints)) {
      raw.limitReached = true;
      return false;
    }
  }
  return true;
}

}  // namespace

RawSwitchPoints ParseControlFile(std::string_view text, int32_t weekTime) {
  RawSwitchPoints raw;
  size_t at = 0;
  while (at < text.size()) {
    const size_t lf = text.find('\n', at);
    const size_t next = lf == std::string_view::npos ? text.size() : lf + 1;
    std::string_view line = text.substr(at, next - at);
    at = next;
    if (!line.empty() && line.back() == '\n') {
      line.remove_suffix(1);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    }
    // An empty line is one empty piece; a long one several pieces.
    do {
      const std::string_view piece = line.substr(0, kControlLinePiece);
      line.remove_prefix(piece.size());
      if (!parseLine(piece, weekTime, raw)) return raw;
    } while (!line.empty());
  }
  return raw;
}
