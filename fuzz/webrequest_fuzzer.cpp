// What a client of the web face sends, before anything of it runs: the
// headers through the rules that admit a request (Host, the body's framing,
// same origin), the Authorization header, a command's JSON body, and the
// history's span. The input is lines: method, Host, Origin,
// Sec-Fetch-Site, Content-Type, Content-Length, Transfer-Encoding,
// Authorization, from, to, the path's number, then the body. The rules
// must never let through what they are there to refuse, and a command
// that is taken must be exactly its parameters, with values the server
// takes.

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/RequestParser.h"
#include "fuzz/FuzzSupport.h"
#include "gateway/commands/CommandArguments.h"
#include "gateway/web/HistoryAnswer.h"
#include "gateway/web/Login.h"
#include "gateway/web/RequestRules.h"
#include "gateway/web/WebCommand.h"
#include "gateway/history/History.h"

namespace {

void checkAuthorization(const std::string& header) {
  const auto credentials = ParseBasicAuthorization(header);
  if (!credentials) return;
  // The name ends at the first colon; the password is the rest, colons and
  // all; together they are the decoded text, which base64 makes shorter.
  FUZZ_CHECK(credentials->first.find(':') == std::string::npos);
  FUZZ_CHECK(credentials->first.size() + 1 + credentials->second.size() <= (header.size() - 6) * 3 / 4);
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

void checkCommand(WebCommandKind kind, long n, std::string_view body) {
  const WebCommand c = CheckWebCommand(kind, n, body, "web");
  FUZZ_CHECK(c.request.empty() != c.error.empty());
  if (c.request.empty()) return;
  ParamTable p;
  FUZZ_CHECK(p.split(c.request) == ParamTable::Split::Ok);
  const size_t params[] = {4, 5, 4, 3};  // cmd, username and the command's own
  FUZZ_CHECK(p.count() == params[static_cast<int>(kind)]);
  if (kind == WebCommandKind::Mode || kind == WebCommandKind::Timer) {
    FUZZ_CHECK(IsChannel(n) && std::string_view(p.GetParam("outn")) == std::to_string(n));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest = AsText(data, size);
  HttpRequest r;
  r.method = std::string(TakeLine(rest));
  for (const char* name : {"host", "origin", "sec-fetch-site", "content-type", "content-length",
                           "transfer-encoding", "authorization"}) {
    const std::string_view value = TakeLine(rest);
    if (!value.empty()) r.headers[name] = std::string(value);
  }
  for (const char* name : {"from", "to"}) {
    const std::string_view value = TakeLine(rest);
    if (!value.empty()) r.query[name] = std::string(value);
  }
  const std::string number(TakeLine(rest));
  const long n = number.empty() ? -1 : std::strtol(number.c_str(), nullptr, 10);
  r.body = std::string(rest);
  r.local = 0x7F000001;
  r.bodyLimit = 4096;

  const bool hostOk = !CheckHost(r, HostNames{0x7F000001, false, {"tessaro.example"}}, 8080);
  if (hostOk) {
    const std::string host = lower(r.header("host"));
    FUZZ_CHECK(host == "127.0.0.1:8080" || host == "localhost:8080" || host == "tessaro.example:8080");
  }
  if (!CheckFraming(r) && r.has("content-length")) {
    FUZZ_CHECK(!r.has("content-encoding") && !r.has("transfer-encoding"));
  }
  if (!CheckSameOriginJson(r) && r.method != "GET" && r.method != "HEAD") {
    FUZZ_CHECK(lower(r.header("content-type")).rfind("application/json", 0) == 0);  // media types ignore case
    FUZZ_CHECK(!r.has("sec-fetch-site") || r.header("sec-fetch-site") == "same-origin" ||
               r.header("sec-fetch-site") == "none");
  }
  checkAuthorization(r.header("authorization"));
  for (const WebCommandKind kind : {WebCommandKind::Mode, WebCommandKind::Timer, WebCommandKind::Mask,
                                    WebCommandKind::Enable}) {
    checkCommand(kind, n, r.body);
  }
  if (const std::optional<HistorySpan> span = ParseHistorySpan(r, FuzzNow() * 1000)) {
    FUZZ_CHECK(0 <= span->fromMs && span->fromMs <= span->toMs && span->toMs <= History::kLatestMs);
  }
  return 0;
}
