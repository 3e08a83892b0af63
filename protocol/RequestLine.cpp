#include "protocol/RequestLine.h"

RequestLine& RequestLine::add(std::string_view key, std::string_view value) {
  params.emplace_back(key, value);
  return *this;
}

RequestLine& RequestLine::add(std::string_view key, int64_t value) { return add(key, std::to_string(value)); }

std::string RequestLine::text() const {
  std::string line = "cmd=" + command + "&username=" + user;
  for (const auto& [key, value] : params) line += "&" + key + "=" + value;
  return line;
}

std::string DoutRequest(std::string_view user, int n, ChannelMode mode) {
  return RequestLine("dout", user).add("outn", n).add("mode", ChannelModeName(mode)).text();
}

std::string TimerRequest(std::string_view user, int n, int minutes, bool on) {
  return RequestLine("dout_timer", user).add("outn", n).add("time", minutes).add("output", on ? "true" : "false").text();
}

std::string MaskRequest(std::string_view user, uint32_t mask, ChannelMode mode) {
  // The server reads a signed 32-bit mask: bit 31 is its negative range.
  return RequestLine("dout_bin", user).add("mask", static_cast<int32_t>(mask)).add("mode", ChannelModeName(mode)).text();
}

std::string EnableRequest(std::string_view user, bool enabled) {
  return RequestLine("debug", user).add("enaoutp", enabled ? 1 : 0).text();
}

std::string ProbeRequest(std::string_view user) { return RequestLine("debug", user).text(); }
