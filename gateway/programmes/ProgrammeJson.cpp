#include "gateway/programmes/ProgrammeJson.h"

#include "base/Text.h"
#include "gateway/model/Latin1.h"

using nlohmann::json;

namespace {

std::string timeText(const ControlPoint& p) {
  std::string text;
  appendf(text, "%02lld:%02lld", static_cast<long long>(p.hour), static_cast<long long>(p.minute));
  return text;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// "HH:MM" as a time input gives it; the range is the writer's to check.
bool parseTime(const std::string& text, ControlPoint& p) {
  if (text.size() != 5 || text[2] != ':' || !isDigit(text[0]) || !isDigit(text[1]) ||
      !isDigit(text[3]) || !isDigit(text[4])) {
    return false;
  }
  p.hour = (text[0] - '0') * 10 + (text[1] - '0');
  p.minute = (text[3] - '0') * 10 + (text[4] - '0');
  return true;
}

// The point of one array entry, or what is wrong with its form.
std::optional<ControlPoint> pointOf(const json& j, std::string* problem) {
  ControlPoint p;
  const json none;
  const json& days = j.is_object() ? j.value("days", none) : none;
  const json& time = j.is_object() ? j.value("time", none) : none;
  const json& on = j.is_object() ? j.value("on", none) : none;
  if (!days.is_string() || !time.is_string() || !on.is_boolean()) {
    *problem = "days, time und on erwartet";
    return std::nullopt;
  }
  p.days = days.get<std::string>();
  p.on = on.get<bool>();
  if (!parseTime(time.get<std::string>(), p)) {
    *problem = "Uhrzeit als HH:MM erwartet";
    return std::nullopt;
  }
  if (j.contains("comment")) {
    const std::optional<std::string> comment =
        j["comment"].is_string() ? Utf8ToLatin1(j["comment"].get<std::string>()) : std::nullopt;
    if (!comment) {
      *problem = "Kommentar: nur Zeichen aus ISO 8859-1";
      return std::nullopt;
    }
    p.comment = *comment;
  }
  if (j.contains("line")) {
    if (!j["line"].is_number_integer() || j["line"].get<int64_t>() < 0) {
      *problem = "line: eine Zeilennummer erwartet";
      return std::nullopt;
    }
    p.line = j["line"].get<int64_t>();
  }
  return p;
}

}  // namespace

json PointsToJson(const std::vector<ControlPoint>& points) {
  json out = json::array();
  for (const ControlPoint& p : points) {
    json j = {{"days", p.days}, {"time", timeText(p)}, {"on", p.on}};
    if (!p.comment.empty()) j["comment"] = Latin1ToUtf8(p.comment);
    j["line"] = p.line;
    out.push_back(std::move(j));
  }
  return out;
}

std::optional<std::vector<ControlPoint>> PointsFromJson(const json& points, std::string* problem) {
  if (!points.is_array()) {
    *problem = "points: eine Liste von Schaltpunkten erwartet";
    return std::nullopt;
  }
  std::vector<ControlPoint> out;
  for (const json& j : points) {
    std::optional<ControlPoint> p = pointOf(j, problem);
    if (!p) {
      *problem = "Punkt " + std::to_string(out.size() + 1) + ": " + *problem;
      return std::nullopt;
    }
    out.push_back(std::move(*p));
  }
  if (std::optional<std::string> p = ProgrammeProblem(out)) {
    *problem = *p;
    return std::nullopt;
  }
  return out;
}
