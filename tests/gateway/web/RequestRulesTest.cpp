#include "gateway/web/RequestRules.h"

#include <gtest/gtest.h>

#include "gateway/web/Login.h"
#include "gateway/web/Users.h"

namespace {

HttpRequest Request(const std::string& method, std::map<std::string, std::string> headers) {
  HttpRequest r;
  r.method = method;
  r.headers = std::move(headers);
  r.local = 0x7F000001;
  r.bodyLimit = 4096;
  return r;
}

int StatusOf(const std::optional<HttpAnswer>& a) { return a ? a->status : 0; }

TEST(RequestRules, HostMustNameTheGatewayWithItsPort) {
  const HostNames names{0, false, {"tessaro.example"}};  // listening on every address
  const struct {
    const char* host;
    int status;
  } cases[] = {
      {"127.0.0.1:8080", 0},        {"LOCALHOST:8080", 0},   {"tessaro.example:8080", 0},
      {"evil.example:8080", 421},   {"127.0.0.2:8080", 421}, {"127.0.0.1:8081", 421},
      {"127.0.0.1", 421},           {"127.0.0.1:", 421},     {"tessaro.example:8080, evil", 421},
      {"", 421},                    {"127.0.0.1:08080x", 421},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host);
    const HttpRequest r = Request("GET", {{"host", c.host}});
    EXPECT_EQ(StatusOf(CheckHost(r, names, 8080)), c.status);
  }
  // A NUL ends the text for the C library, not for the rule.
  EXPECT_EQ(StatusOf(CheckHost(Request("GET", {{"host", std::string("127.0.0.1\0x:8080", 16)}}), names, 8080)),
            421);
  // The scheme's own port may be left out.
  EXPECT_EQ(StatusOf(CheckHost(Request("GET", {{"host", "localhost"}}), {0, true, {}}, 443)), 0);
}

TEST(RequestRules, StateChangesComeFromThePageOrFromAProgramAndAreJson) {
  using H = std::map<std::string, std::string>;
  const std::string json = "application/json";
  const struct {
    const char* what;
    H headers;
    int status;
  } cases[] = {
      {"the page", {{"origin", "http://h:1"}, {"sec-fetch-site", "same-origin"}}, 0},
      {"a program", {}, 0},
      {"another site", {{"origin", "http://evil:1"}}, 403},
      {"another site, said by fetch", {{"sec-fetch-site", "cross-site"}}, 403},
      {"same site, other origin", {{"sec-fetch-site", "same-site"}}, 403},
      {"https origin on http", {{"origin", "https://h:1"}}, 403},
      {"an opaque origin", {{"origin", "null"}}, 403},
      {"a program with a cookie", {{"cookie", "a=b"}}, 403},
      {"a program with a fetch header", {{"sec-fetch-mode", "no-cors"}}, 403},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    H headers = c.headers;
    headers["host"] = "h:1";
    headers["content-type"] = json;
    EXPECT_EQ(StatusOf(CheckSameOriginJson(Request("POST", headers))), c.status);
  }
  for (const char* type : {"text/plain", "application/jsonp", "", "application/x-www-form-urlencoded"}) {
    SCOPED_TRACE(type);
    EXPECT_EQ(StatusOf(CheckSameOriginJson(Request("POST", {{"host", "h:1"}, {"content-type", type}}))), 415);
  }
  EXPECT_EQ(StatusOf(CheckSameOriginJson(Request("GET", {{"origin", "http://evil:1"}}))), 0);
}

TEST(RequestRules, BodiesAreFramedByLengthOrChunksAndNeverCompressed) {
  using H = std::map<std::string, std::string>;
  const struct {
    const char* method;
    H headers;
    int status;
  } cases[] = {
      {"POST", {{"content-length", "4096"}}, 0},
      {"POST", {{"content-length", "4097"}}, 413},
      {"POST", {{"content-length", "18446744073709551616"}}, 400},
      {"POST", {{"content-length", "1, 1"}}, 400},
      {"POST", {{"transfer-encoding", "chunked"}}, 0},
      {"POST", {{"transfer-encoding", "gzip, chunked"}}, 400},
      {"POST", {{"transfer-encoding", "chunked"}, {"content-length", "3"}}, 400},
      {"POST", {{"content-length", "3"}, {"content-encoding", "gzip"}}, 415},
      {"POST", {}, 411},
      {"PUT", {}, 411},
      {"GET", {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.headers));
    EXPECT_EQ(StatusOf(CheckFraming(Request(c.method, c.headers))), c.status);
  }
}

TEST(Login, GuessersArePausedPerAddressWhileRememberedCredentialsGoOn) {
  std::string error;
  const std::optional<Users> users = Users::Parse("anna:" + Users::Hash("geheim") + "\n", "users", &error);
  ASSERT_TRUE(users) << error;
  Login login(&*users, "web");
  const auto statusOf = [&](const std::string& password, uint32_t client, Login::Clock::time_point at) {
    HttpRequest r = Request("GET", {{"authorization", "Basic " + std::string(password == "geheim"
                                                                                 ? "YW5uYTpnZWhlaW0="
                                                                                 : "YW5uYTpmYWxzY2g=")}});
    r.client = client;
    const auto got = login.check(r, at);
    return std::holds_alternative<std::string>(got) ? 200 : std::get<HttpAnswer>(got).status;
  };
  const Login::Clock::time_point t0{};
  EXPECT_EQ(statusOf("geheim", 1, t0), 200);
  for (int i = 0; i < Login::kFreeFailures; ++i) EXPECT_EQ(statusOf("falsch", 1, t0), 401);
  EXPECT_EQ(statusOf("falsch", 1, t0), 401);  // the last free guess starts the first pause
  EXPECT_EQ(statusOf("falsch", 1, t0), 429);
  EXPECT_EQ(statusOf("falsch", 2, t0), 401) << "another address guesses on its own";
  EXPECT_EQ(statusOf("geheim", 1, t0), 200) << "remembered credentials are not paused";
  EXPECT_EQ(statusOf("falsch", 1, t0 + std::chrono::milliseconds(999)), 429);
  EXPECT_EQ(statusOf("falsch", 1, t0 + std::chrono::seconds(1)), 401);
  EXPECT_EQ(statusOf("falsch", 1, t0 + std::chrono::seconds(2)), 429) << "the pause doubles";
  EXPECT_EQ(statusOf("falsch", 1, t0 + std::chrono::seconds(3)), 401);
  EXPECT_EQ(statusOf("falsch", 1, t0 + Login::kForgetAfter + std::chrono::seconds(4)), 401);
  EXPECT_EQ(statusOf("falsch", 1, t0 + Login::kForgetAfter + std::chrono::seconds(4)), 401)
      << "after a quiet quarter of an hour the guesses are free again";
}

}  // namespace
