#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "protocol/ChannelMode.h"

// A request line of the command port as a client writes it:
// "cmd=dout&username=U&outn=3&mode=ein", without its line end. The server
// reads it with its own parameter parser (ParamTable, ParseUrlPara). Texts
// are ISO 8859-1 bytes, and none may hold "&" or a line end, which would
// add a parameter or end the request: the builders below take checked
// values only.
struct RequestLine {
  std::string command;
  std::string user;
  std::vector<std::pair<std::string, std::string>> params;

  RequestLine(std::string_view cmd, std::string_view username) : command(cmd), user(username) {}
  RequestLine& add(std::string_view key, std::string_view value);
  RequestLine& add(std::string_view key, int64_t value);

  std::string text() const;
};

std::string DoutRequest(std::string_view user, int n, ChannelMode mode);
std::string TimerRequest(std::string_view user, int n, int minutes, bool on);
std::string MaskRequest(std::string_view user, uint32_t mask, ChannelMode mode);
std::string EnableRequest(std::string_view user, bool enabled);
// A debug request without enaoutp: it changes nothing, is not logged and
// is answered "ok" once the server serves this client.
std::string ProbeRequest(std::string_view user);
