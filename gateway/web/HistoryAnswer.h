#pragma once

#include <cstdint>
#include <optional>

#include "gateway/web/Http.h"

class Recorder;

// The most points one history answer holds: a chart's width, a day of
// minutes. A change series with more changes in the span asked for is
// refused, since thinning out switchings would show what never happened.
inline constexpr size_t kMaxHistoryPoints = 2000;

// The span a history query asks for: from and to in 0 ... History's
// latest time, to defaulting to nowMs and from to a day before it, from
// not after to; nothing for parameters that are not such numbers.
struct HistorySpan {
  int64_t fromMs = 0, toMs = 0;
};
std::optional<HistorySpan> ParseHistorySpan(const HttpRequest& r, int64_t nowMs);

// GET /api/history: without series the names of all series; with it the
// series' points in [from, to] (unix milliseconds, to defaulting to nowMs
// and from to a day before it), as JSON or, with format=csv, as CSV. The
// points are written in pieces as the client takes them. recorder null:
// nothing is recorded (404).
HttpAnswer HistoryAnswer(const HttpRequest& r, Recorder* recorder, int64_t nowMs);
