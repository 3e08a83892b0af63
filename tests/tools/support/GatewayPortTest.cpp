#include <gtest/gtest.h>

#include "tools/support/Process.h"

namespace {

TEST(GatewayPort, ComesFromTheCompleteListeningLine) {
  struct Case {
    const char* console;
    std::optional<uint16_t> port;
  };
  const Case cases[] = {
      {"tessaro_gateway: http://127.0.0.1:41234/\n", 41234},
      {"some warning\ntessaro_gateway: http://127.0.0.1:1/\n", 1},
      {"tessaro_gateway: http://127.0.0.1:65535/\n", 65535},
      {"tessaro_gateway: http://127.0.0.1:4123", std::nullopt},  // still being written
      {"tessaro_gateway: http://127.0.0.1:41234/", std::nullopt},
      {"tessaro_gateway: http://127.0.0.1:65536/\n", std::nullopt},
      {"tessaro_gateway: http://127.0.0.1:0/\n", std::nullopt},
      {"tessaro_gateway: http://127.0.0.1:/\n", std::nullopt},
      {"tessaro_gateway: http://127.0.0.1:8o8o/\n", std::nullopt},
      {"tessaro_gateway: https://127.0.0.1:8080/\n", 8080},
      {"tessaro_gateway: httpx://127.0.0.1:8080/\n", std::nullopt},
      {"tessaro_gateway: no such file\n", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.console);
    EXPECT_EQ(ParseGatewayPort(c.console), c.port);
  }
}

}  // namespace
