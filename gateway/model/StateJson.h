#pragma once

#include <nlohmann/json.hpp>

#include "gateway/model/State.h"

// The state as the API gives it (docs/web.md).
nlohmann::json ToJson(const State& state);

// j as JSON text. Invalid UTF-8 (which no text of the gateway's should hold)
// becomes U+FFFD instead of an exception.
std::string Dump(const nlohmann::json& j);
