#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Week time: signed seconds since Monday 00:00 local time.
inline constexpr int32_t kDaySeconds = 86400;
inline constexpr int32_t kWeekSeconds = 7 * kDaySeconds;

// Raw points one control file may give, counted over all its lines and days
// before merging; also the size of the switching table.
inline constexpr int32_t kMaxSwitchPoints = 512;

// A control file line is taken in pieces of at most this many characters;
// each piece is handled as a line of its own.
inline constexpr size_t kControlLinePiece = 255;

// One switching point of the weekly programme.
struct SwitchPoint {
  int32_t time = 0;  // week time, at or after the load time (see ParseControlFile)
  uint8_t on = 0;    // 1 switches on, 0 off
};

struct RawSwitchPoints {
  std::vector<SwitchPoint> points;  // in file order, at most kMaxSwitchPoints
  // The kMaxSwitchPoints-th point was read: the rest of its line and of the
  // file was not looked at.
  bool limitReached = false;
};

// The switching points of a control file's text, one per day named in each
// line's day mask. A line is "<7-day mask> <hour[:minute]> <on|...>": fields
// separated by runs of spaces only, everything from ";" on ignored, the mask
// Monday first with "0" for days without the point, the state on only for
// exactly "on". Lines with another mask length or fewer than three fields
// are skipped. A point earlier than weekTime is moved one week on, so every
// point lies in the week that starts at weekTime.
RawSwitchPoints ParseControlFile(std::string_view text, int32_t weekTime);
