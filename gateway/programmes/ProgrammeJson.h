#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "gateway/programmes/ControlLines.h"

// Switching points in the API's JSON, UTF-8:
//   {"days": "1111100", "time": "06:00", "on": true, "comment": "...", "line": 14}
// "comment" only when there is one; "line" where the point stands in the
// file (see ControlPoint), 0 or missing for a new one.

nlohmann::json PointsToJson(const std::vector<ControlPoint>& points);

// The points of a request's array, ready to be written; nothing with
// *problem (German) when one is malformed or out of range, or when there are
// more than the server reads.
std::optional<std::vector<ControlPoint>> PointsFromJson(const nlohmann::json& points,
                                                        std::string* problem);
