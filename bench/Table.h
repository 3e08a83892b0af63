#pragma once

#include <optional>
#include <string>
#include <vector>

// One line of the table: a figure per column, and where the row has a target,
// whether each column met it (nullopt: no target for that column).
struct Row {
  std::string measure;
  std::vector<std::string> figures;
  std::string target;
  std::vector<std::optional<bool>> met;
};

// A Markdown table: Measure | one column per name | Target | Met, figures
// right-aligned; Met lists the columns' "yes", "no" or "-" joined by " / ".
std::string RenderTable(const std::vector<std::string>& columns, const std::vector<Row>& rows);

std::string MetText(const std::vector<std::optional<bool>>& met);

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Rounded to a whole number, with thousands separated by commas: "12,096".
std::string WithThousands(double value);
