#include "bench/Table.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

std::string MetText(const std::vector<std::optional<bool>>& met) {
  std::string text;
  for (size_t i = 0; i < met.size(); ++i) {
    if (i > 0) text += " / ";
    text += !met[i] ? "-" : *met[i] ? "yes" : "no";
  }
  return text;
}

std::string RenderTable(const std::vector<std::string>& columns, const std::vector<Row>& rows) {
  // Measure, the figure columns, Target, Met.
  std::vector<std::string> header = {"Measure"};
  header.insert(header.end(), columns.begin(), columns.end());
  header.push_back("Target");
  header.push_back("Met");
  std::vector<std::vector<std::string>> cells;
  for (const Row& r : rows) {
    std::vector<std::string> line = {r.measure};
    for (size_t c = 0; c < columns.size(); ++c) {
      line.push_back(c < r.figures.size() ? r.figures[c] : "");
    }
    line.push_back(r.target);
    line.push_back(MetText(r.met));
    cells.push_back(std::move(line));
  }
  std::vector<size_t> width;
  for (const std::string& h : header) width.push_back(std::max<size_t>(h.size(), 3));
  for (const auto& line : cells) {
    for (size_t i = 0; i < line.size(); ++i) width[i] = std::max(width[i], line[i].size());
  }
  const auto isFigure = [&](size_t i) { return i >= 1 && i <= columns.size(); };
  const auto print = [&](const std::vector<std::string>& line) {
    std::string text = "|";
    for (size_t i = 0; i < line.size(); ++i) {
      const std::string pad(width[i] - line[i].size(), ' ');
      text += " " + (isFigure(i) ? pad + line[i] : line[i] + pad) + " |";
    }
    return text + "\n";
  };
  std::string out = print(header) + "|";
  for (size_t i = 0; i < header.size(); ++i) {
    out += std::string(width[i] + (isFigure(i) ? 1 : 2), '-') + (isFigure(i) ? ":|" : "|");
  }
  out += "\n";
  for (const auto& line : cells) out += print(line);
  return out;
}

std::string Format(const char* fmt, ...) {
  char buffer[256];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buffer, sizeof buffer, fmt, args);
  va_end(args);
  return buffer;
}

std::string WithThousands(double value) {
  const std::string digits = Format("%.0f", value);
  const size_t first = digits[0] == '-' ? 1 : 0;
  std::string out = digits.substr(0, first);
  for (size_t i = first; i < digits.size(); ++i) {
    if (i > first && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}
