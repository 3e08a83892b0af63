#include "gateway/web/RequestRules.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string_view>

namespace {

std::string lower(std::string_view text) {
  std::string s(text);
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::optional<uint32_t> ipv4(const std::string& text) {
  in_addr a{};
  // inet_pton reads up to a NUL: "127.0.0.1\0evil" is no address.
  if (text.find('\0') != std::string::npos || inet_pton(AF_INET, text.c_str(), &a) != 1) return std::nullopt;
  return ntohl(a.s_addr);
}

bool isStateChange(const HttpRequest& r) { return r.method != "GET" && r.method != "HEAD"; }

}  // namespace

std::optional<HttpAnswer> CheckHost(const HttpRequest& r, const HostNames& names, uint16_t port) {
  const std::string host = lower(r.header("host"));
  const size_t colon = host.rfind(':');
  const std::string name = host.substr(0, colon);
  bool portOk = false;
  if (colon == std::string::npos) {
    portOk = port == (names.tls ? 443 : 80);
  } else {
    const std::string_view digits = std::string_view(host).substr(colon + 1);
    unsigned given = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), given);
    portOk = ec == std::errc() && end == digits.data() + digits.size() && given == port;
  }
  const std::optional<uint32_t> literal = ipv4(name);
  const bool nameOk =
      name == "localhost" ||
      (literal && ((names.listenAddress != 0 && *literal == names.listenAddress) || *literal == r.local)) ||
      std::find(names.publicNames.begin(), names.publicNames.end(), name) != names.publicNames.end();
  if (portOk && nameOk) return std::nullopt;
  return Refusal(421, "Dieser Host-Name ist nicht der des Gateways (--public-name).");
}

std::optional<HttpAnswer> CheckSameOriginJson(const HttpRequest& r) {
  if (!isStateChange(r)) return std::nullopt;
  // A browser names the page that sent a request in Origin or
  // Sec-Fetch-Site, and a page cannot leave both out; so a request with
  // neither comes from a program. A program that carries a cookie or some
  // other Sec-Fetch header is a browser in disguise.
  const bool fromBrowser = r.has("origin") || r.has("sec-fetch-site");
  bool foreign = false;
  if (fromBrowser) {
    const std::string site = r.header("sec-fetch-site");
    const std::string origin = lower(r.header("origin"));
    const std::string self = std::string(r.tls ? "https://" : "http://") + lower(r.header("host"));
    foreign = (r.has("sec-fetch-site") && site != "same-origin" && site != "none") ||
              (r.has("origin") && origin != self);
  } else {
    foreign = r.has("cookie") || std::any_of(r.headers.begin(), r.headers.end(), [](const auto& h) {
                return startsWith(h.first, "sec-fetch-");
              });
  }
  if (foreign) return Refusal(403, "Anfragen von fremden Seiten sind nicht erlaubt.");
  // "application/json", with parameters or (from a client that sends the
  // header twice) followed by more.
  const std::string type = lower(r.header("content-type"));
  const bool json = startsWith(type, "application/json") &&
                    (type.size() == 16 || type[16] == ';' || type[16] == ' ' || type[16] == ',');
  if (!json) return Refusal(415, "Content-Type application/json erwartet.");
  return std::nullopt;
}

std::optional<HttpAnswer> CheckFraming(const HttpRequest& r) {
  if (r.has("content-encoding")) return Refusal(415, "Komprimierte Inhalte werden nicht angenommen.");
  const bool chunked = r.has("transfer-encoding");
  const bool sized = r.has("content-length");
  if ((chunked && lower(r.header("transfer-encoding")) != "chunked") || (chunked && sized)) {
    return Refusal(400, "Transfer-Encoding chunked oder Content-Length erwartet.");
  }
  if (sized) {
    const std::string& text = r.header("content-length");
    uint64_t length = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), length);
    if (ec != std::errc() || end != text.data() + text.size()) {
      return Refusal(400, "Content-Length ist keine Zahl.");
    }
    if (length > r.bodyLimit) return Refusal(413, "Der Inhalt ist zu gro\u00df.");
  } else if (!chunked && isStateChange(r)) {
    return Refusal(411, "Content-Length erwartet.");
  }
  return std::nullopt;
}
