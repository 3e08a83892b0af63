#include "gateway/programmes/ControlLines.h"

#include <algorithm>

#include "base/Text.h"
#include "timeswitch/ControlFile.h"

namespace {

// Comments stand in one column, four blanks behind the longest fields
// ("1111100 22:00 off").
constexpr size_t kCommentColumn = 21;

// Splits text at runs of sep as the server's loader does: leading
// separators skipped, no field empty, at most max fields.
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

std::string_view trim(std::string_view text) {
  const size_t from = text.find_first_not_of(" \t");
  if (from == std::string_view::npos) return {};
  return text.substr(from, text.find_last_not_of(" \t") + 1 - from);
}

// The point one piece of a line gives, or nothing: a comment, too few
// fields, a mask of another length or one without a day.
std::optional<ControlPoint> pointOf(std::string_view piece) {
  if (piece.empty() || piece.front() == ';') return std::nullopt;
  const std::string_view fields = piece.substr(0, piece.find(';'));
  const std::vector<std::string_view> f = splitFields(fields, ' ', 3);
  if (f.size() < 3 || f[0].size() != 7 || f[0] == "0000000") return std::nullopt;

  ControlPoint p;
  for (const char c : f[0]) p.days += c == '0' ? '0' : '1';
  const std::vector<std::string_view> time = splitFields(f[1], ':', 2);
  p.hour = time.empty() ? 0 : parseInt(time[0]);
  p.minute = time.size() < 2 ? 0 : parseInt(time[1]);
  p.on = f[2] == "on";
  std::string_view rest = trim(piece.substr(static_cast<size_t>(f[2].data() - piece.data()) + f[2].size()));
  if (!rest.empty() && rest.front() == ';') rest = trim(rest.substr(1));
  p.comment = std::string(rest);
  return p;
}

std::string pointLine(const ControlPoint& p) {
  std::string line = p.days;
  appendf(line, " %02lld:%02lld %s", static_cast<long long>(p.hour),
          static_cast<long long>(p.minute), p.on ? "on" : "off");
  if (!p.comment.empty()) {
    line.resize(std::max(kCommentColumn, line.size() + 1), ' ');
    line += "; " + p.comment;
  }
  return line;
}

std::optional<std::string> pointProblem(const ControlPoint& p) {
  if (p.days.size() != 7 || p.days.find_first_not_of("01") != std::string::npos ||
      p.days.find('1') == std::string::npos) {
    return "Tage: 7 Ziffern 0 oder 1, Montag zuerst, mindestens eine 1";
  }
  if (p.hour < 0 || p.hour > 23 || p.minute < 0 || p.minute > 59) {
    return "Uhrzeit au\u00dferhalb von 00:00 bis 23:59";
  }
  for (const char c : p.comment) {
    const auto b = static_cast<unsigned char>(c);
    if ((b < 0x20 && c != '\t') || b == 0x7F) return "Kommentar mit Steuerzeichen";
  }
  // A longer line would be read in pieces, and its rest as a line of its own.
  if (pointLine(p).size() > kControlLinePiece) {
    return "Kommentar zu lang (eine Zeile hat h\u00f6chstens " + std::to_string(kControlLinePiece) +
           " Zeichen)";
  }
  return std::nullopt;
}

}  // namespace

ControlLines ParseControlLines(std::string_view text) {
  ControlLines lines;
  int64_t number = 0;
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
    do {
      const std::string_view piece = line.substr(0, kControlLinePiece);
      line.remove_prefix(piece.size());
      ++number;
      if (std::optional<ControlPoint> p = pointOf(piece)) {
        p->line = number;
        lines.points.push_back(std::move(*p));
      } else {
        lines.kept.push_back({number, std::string(piece), lines.points.empty()});
      }
    } while (!line.empty());
  }
  return lines;
}

std::string WriteControlLines(const std::vector<ControlPoint>& points,
                              const std::vector<KeptLine>& kept) {
  std::string text;
  auto next = kept.begin();
  auto keepUntil = [&](auto stop) {
    for (; next != kept.end() && stop(*next); ++next) text += next->text + "\n";
  };
  keepUntil([](const KeptLine& k) { return k.head; });
  for (const ControlPoint& p : points) {
    if (p.line > 0) keepUntil([&](const KeptLine& k) { return k.line < p.line; });
    text += pointLine(p) + "\n";
  }
  keepUntil([](const KeptLine&) { return true; });
  return text;
}

size_t RawPointCount(const std::vector<ControlPoint>& points) {
  size_t count = 0;
  for (const ControlPoint& p : points) count += static_cast<size_t>(std::count(p.days.begin(), p.days.end(), '1'));
  return count;
}

std::optional<std::string> ProgrammeProblem(const std::vector<ControlPoint>& points) {
  for (size_t i = 0; i < points.size(); ++i) {
    if (std::optional<std::string> problem = pointProblem(points[i])) {
      return "Punkt " + std::to_string(i + 1) + ": " + *problem;
    }
  }
  const size_t count = RawPointCount(points);
  // The server stops reading at its limit: a point beyond it would be lost.
  if (count > static_cast<size_t>(kMaxSwitchPoints)) {
    return std::to_string(count) + " Schaltpunkte (jeder Tag z\u00e4hlt einzeln), h\u00f6chstens " +
           std::to_string(kMaxSwitchPoints);
  }
  return std::nullopt;
}
