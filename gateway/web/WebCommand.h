#pragma once

#include <string>
#include <string_view>

// The commands of the web face (docs/web.md): POST /api/outputs/N/mode,
// /api/outputs/N/timer, /api/mask and /api/enable, each with a JSON body.
enum class WebCommandKind { Mode, Timer, Mask, Enable };

// The request line for user (ISO 8859-1) that a command asks for, built
// from checked values only; or, with request empty, why it is refused
// (German).
struct WebCommand {
  std::string request;
  std::string error;
};

// n: the channel in the path (-1 where the path has none).
WebCommand CheckWebCommand(WebCommandKind kind, long n, std::string_view body, std::string_view user);
