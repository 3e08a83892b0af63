#include "gateway/web/HistoryAnswer.h"

#include <algorithm>
#include <charconv>
#include <ctime>

#include "gateway/history/Recorder.h"
#include "gateway/model/StateJson.h"

namespace {

using nlohmann::json;

constexpr size_t kRowsPerPiece = 256;

// A query parameter in 0 ... History::kLatestMs, fallback when it is
// missing; nothing when it is there but no such number.
std::optional<int64_t> timeParam(const HttpRequest& r, const char* name, int64_t fallback) {
  const std::string* text = r.param(name);
  if (text == nullptr) return fallback;
  int64_t v = 0;
  const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), v);
  if (ec != std::errc() || end != text->data() + text->size() || v < 0 || v > History::kLatestMs) {
    return std::nullopt;
  }
  return v;
}

// "2026-12-09 12:00:00" in local time: what a spreadsheet reads as a date.
std::string localTime(int64_t ms) {
  const time_t t = static_cast<time_t>(ms / 1000);
  std::tm tm{};
  localtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

// The points as JSON or CSV, kRowsPerPiece rows a piece. The JSON is
// nlohmann's, value by value: the object's head, then each point and each
// range as an array of its own, joined.
class HistoryPieces : public PieceSource {
 public:
  HistoryPieces(History::Points p, bool csv) : p_(std::move(p)), csv_(csv) {}

  Got next(std::string* piece) override {
    if (stage_ == Stage::Head) {
      *piece = csv_ ? (p_.ranges.empty() ? "time,unix_ms,value\n" : "time,unix_ms,value,min,max\n")
                    : head();
      stage_ = Stage::Points;
      return Got::Piece;
    }
    const size_t rows = stage_ == Stage::Points ? p_.points.size() : p_.ranges.size();
    if (stage_ != Stage::Done && at_ < rows) {
      for (const size_t end = std::min(rows, at_ + kRowsPerPiece); at_ < end; ++at_) row(piece);
      return Got::Piece;
    }
    if (stage_ == Stage::Points && !csv_ && !p_.ranges.empty()) {
      *piece = "],\"ranges\":[";
      stage_ = Stage::Ranges;
      at_ = 0;
      return Got::Piece;
    }
    if (stage_ == Stage::Done || csv_) return Got::End;
    *piece = "]}";
    stage_ = Stage::Done;
    return Got::Piece;
  }

 private:
  enum class Stage { Head, Points, Ranges, Done };

  std::string head() const {
    std::string h = Dump(json{{"series", p_.series}, {"step_ms", p_.stepMs}});
    h.pop_back();  // the closing brace: the points follow
    return h + ",\"points\":[";
  }

  void row(std::string* piece) const {
    const auto& [t, v] = p_.points[at_];
    if (csv_) {
      *piece += localTime(t) + "," + std::to_string(t) + "," + Dump(v);
      if (!p_.ranges.empty()) *piece += "," + Dump(p_.ranges[at_].first) + "," + Dump(p_.ranges[at_].second);
      *piece += "\n";
      return;
    }
    if (at_ > 0) *piece += ",";
    *piece += stage_ == Stage::Points ? Dump(json::array({t, v}))
                                      : Dump(json::array({p_.ranges[at_].first, p_.ranges[at_].second}));
  }

  History::Points p_;
  bool csv_;
  Stage stage_ = Stage::Head;
  size_t at_ = 0;
};

}  // namespace

std::optional<HistorySpan> ParseHistorySpan(const HttpRequest& r, int64_t nowMs) {
  const std::optional<int64_t> to = timeParam(r, "to", std::clamp<int64_t>(nowMs, 0, History::kLatestMs));
  const std::optional<int64_t> from = to ? timeParam(r, "from", std::max<int64_t>(*to - History::kDayMs, 0))
                                         : std::nullopt;
  if (!from || !to || *from > *to) return std::nullopt;
  return HistorySpan{*from, *to};
}

HttpAnswer HistoryAnswer(const HttpRequest& r, Recorder* recorder, int64_t nowMs) {
  if (recorder == nullptr) return Refusal(404, "Die Aufzeichnung ist ausgeschaltet (--history none).");
  const std::string* series = r.param("series");
  if (series == nullptr) return JsonAnswer(200, {{"series", recorder->series()}});
  const std::optional<HistorySpan> span = ParseHistorySpan(r, nowMs);
  if (!span) return Refusal(400, "from und to in Millisekunden seit 1970 erwartet, from nicht nach to.");
  std::optional<History::Points> p = recorder->query(*series, span->fromMs, span->toMs, kMaxHistoryPoints);
  if (!p) return Refusal(404, "Keine Aufzeichnung f\u00fcr " + *series + ".");
  if (p->tooMany) {
    return Refusal(400, "Mehr als " + std::to_string(kMaxHistoryPoints) +
                            " \u00c4nderungen in dieser Zeit: bitte eine k\u00fcrzere w\u00e4hlen.");
  }
  const std::string* format = r.param("format");
  const bool csv = format != nullptr && *format == "csv";
  HttpAnswer a;
  if (csv) {
    a.contentType = "text/csv; charset=utf-8";
    a.headers.emplace_back("Content-Disposition", "attachment; filename=\"" + p->series + ".csv\"");
  } else {
    a.contentType = "application/json";
  }
  a.pieces = std::make_shared<HistoryPieces>(std::move(*p), csv);
  return a;
}
