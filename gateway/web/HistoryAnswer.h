#pragma once

#include <cstdint>

#include "gateway/web/Http.h"

class Recorder;

// The most points one history answer holds: a chart's width, a day of
// minutes. A change series with more changes in the span asked for is
// refused, since thinning out switchings would show what never happened.
inline constexpr size_t kMaxHistoryPoints = 2000;

// GET /api/history: without series the names of all series; with it the
// series' points in [from, to] (unix milliseconds, to defaulting to nowMs
// and from to a day before it), as JSON or, with format=csv, as CSV. The
// points are written in pieces as the client takes them. recorder null:
// nothing is recorded (404).
HttpAnswer HistoryAnswer(const HttpRequest& r, Recorder* recorder, int64_t nowMs);
