#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A control file as its editor sees it: the switching points in file order,
// each as one line of the file gives it, and every line that gives none
// (comments, empty lines, lines the server skips), kept byte for byte. Read
// by the server's rules, written in the server's syntax, ISO 8859-1. No
// input or output here.

struct ControlPoint {
  std::string days;  // 7 characters, Monday first: '1' where the point applies, else '0'
  // As the server reads them; only 00:00 ... 23:59 is written.
  int64_t hour = 0;
  int64_t minute = 0;
  bool on = false;
  std::string comment;  // what follows the fields, without ";" and outer blanks
  // The line of the file the point was read from, counted from 1; 0 for a
  // point that is new.
  int64_t line = 0;
};

struct KeptLine {
  int64_t line = 0;
  std::string text;  // without its line end
  bool head = false;  // before the file's first point
};

struct ControlLines {
  std::vector<ControlPoint> points;
  std::vector<KeptLine> kept;
};

// The lines of a control file's text. Lines are counted as the server takes
// them: one longer than its pieces counts as one line for each piece.
ControlLines ParseControlLines(std::string_view text);

// The text of points with the kept lines in their places. Lines before the
// file's first point stay at the top; every other kept line goes before the
// first point that comes from a later line of the file, or to the end when
// none does. Every line ends with a line feed.
std::string WriteControlLines(const std::vector<ControlPoint>& points,
                              const std::vector<KeptLine>& kept);

// The points as the server counts them against its limit: one for every day
// of every line.
size_t RawPointCount(const std::vector<ControlPoint>& points);

// What keeps points from being written (German, "Punkt 3: ..."), or nothing.
std::optional<std::string> ProgrammeProblem(const std::vector<ControlPoint>& points);
