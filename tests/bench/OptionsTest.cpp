#include <gtest/gtest.h>

#include "bench/Options.h"

namespace {

ParsedOptions Parse(std::vector<std::string> args) {
  return ParseOptions(args, "/bin/tessaro", "/bin/tessaro_gateway");
}

TEST(BenchOptions, NoArgumentsGiveTheFullRunOnBothFileSystems) {
  const ParsedOptions p = Parse({});
  ASSERT_EQ(p.outcome, ParsedOptions::Outcome::Run);
  EXPECT_EQ(p.options.idleSeconds, 60);
  EXPECT_EQ(p.options.requests, 2000);
  EXPECT_EQ(p.options.pipelined, 20000);
  EXPECT_EQ(p.options.bursts, 2000);
  EXPECT_EQ(p.options.events, 200);
  EXPECT_EQ(p.options.server, "/bin/tessaro");
  EXPECT_EQ(p.options.gateway, "/bin/tessaro_gateway");
  EXPECT_EQ(p.options.only, Only::Both);
  EXPECT_TRUE(p.options.gatewayPart);
  EXPECT_TRUE(p.options.historyPart);
}

TEST(BenchOptions, CountsBelowTheirMinimumAreRaisedToIt) {
  struct Case {
    const char* option;
    const char* value;
    int Options::*field;
    int expected;
  };
  const Case cases[] = {
      {"--idle-seconds", "0", &Options::idleSeconds, 1},
      {"--idle-seconds", "5", &Options::idleSeconds, 5},
      {"--requests", "9", &Options::requests, 10},
      {"--requests", "300", &Options::requests, 300},
      {"--pipelined", "99", &Options::pipelined, 100},
      {"--bursts", "9", &Options::bursts, 10},
      {"--bursts", "10", &Options::bursts, 10},
      {"--gap-us", "0", &Options::gapUs, 0},
      {"--port-wait-seconds", "0", &Options::portWaitSeconds, 0},
      {"--events", "19", &Options::events, 20},
      {"--events", "20", &Options::events, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.option) + " " + c.value);
    const ParsedOptions p = Parse({c.option, c.value});
    ASSERT_EQ(p.outcome, ParsedOptions::Outcome::Run);
    EXPECT_EQ(p.options.*c.field, c.expected);
  }
}

TEST(BenchOptions, OnlySelectsOneFileSystem) {
  EXPECT_EQ(Parse({"--only", "disk"}).options.only, Only::Disk);
  EXPECT_EQ(Parse({"--only", "tmpfs"}).options.only, Only::Tmpfs);
}

TEST(BenchOptions, GatewayAndHistoryPartsCanBeLeftOutOrTheGatewayReplaced) {
  const ParsedOptions p = Parse({"--gateway", "/opt/gw", "--no-history"});
  EXPECT_EQ(p.options.gateway, "/opt/gw");
  EXPECT_TRUE(p.options.gatewayPart);
  EXPECT_FALSE(p.options.historyPart);
  const ParsedOptions q = Parse({"--no-gateway"});
  EXPECT_FALSE(q.options.gatewayPart);
  EXPECT_TRUE(q.options.historyPart);
  EXPECT_EQ(q.options.gateway, "/bin/tessaro_gateway");
}

TEST(BenchOptions, BadValuesAreInvalidUnknownOptionsGiveTheUsage) {
  struct Case {
    std::vector<std::string> args;
    ParsedOptions::Outcome expected;
  };
  const Case cases[] = {
      {{"--requests"}, ParsedOptions::Outcome::Invalid},
      {{"--requests", "-1"}, ParsedOptions::Outcome::Invalid},
      {{"--requests", "12x"}, ParsedOptions::Outcome::Invalid},
      {{"--requests", ""}, ParsedOptions::Outcome::Invalid},
      {{"--bursts", "99999999999"}, ParsedOptions::Outcome::Invalid},
      {{"--only", "ext4"}, ParsedOptions::Outcome::Invalid},
      {{"--only"}, ParsedOptions::Outcome::Invalid},
      {{"--server"}, ParsedOptions::Outcome::Usage},
      {{"--gateway"}, ParsedOptions::Outcome::Usage},
      {{"--events", "x"}, ParsedOptions::Outcome::Invalid},
      {{"--fast"}, ParsedOptions::Outcome::Usage},
      {{"--keep", "--help"}, ParsedOptions::Outcome::Help},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    EXPECT_EQ(Parse(c.args).outcome, c.expected);
  }
}

}  // namespace
