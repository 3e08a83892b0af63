#include <gtest/gtest.h>

#include "bench/EventStream.h"

namespace {

std::vector<SseEvent> FeedAtOnce(const std::string& stream) {
  SseParser p;
  return p.feed(stream);
}

// Every piece a single byte: what a slow connection may deliver.
std::vector<SseEvent> FeedByteByByte(const std::string& stream) {
  SseParser p;
  std::vector<SseEvent> all;
  for (const char c : stream) {
    for (SseEvent& e : p.feed(std::string_view(&c, 1))) all.push_back(std::move(e));
  }
  return all;
}

TEST(BenchEventStream, EventsAreCompleteAtTheirBlankLineHoweverTheBytesArrive) {
  struct Case {
    const char* name;
    std::string stream;
    std::vector<std::pair<std::string, std::string>> events;  // type, data
  };
  const Case cases[] = {
      {"the gateway's event",
       "event: state\ndata: {\"alive\":true}\n\n",
       {{"state", "{\"alive\":true}"}}},
      {"keep-alive comments between", ":\n\nevent: state\ndata: 1\n\n:\n\n", {{"state", "1"}}},
      {"no blank line yet", "event: state\ndata: 1\n", {}},
      {"data lines joined", "data: a\ndata:b\ndata\n\n", {{"message", "a\nb\n"}}},
      {"carriage returns", "event: state\r\ndata: 2\r\n\r\n", {{"state", "2"}}},
      {"an event without data is dropped, its type with it",
       "event: x\n\ndata: 3\n\n",
       {{"message", "3"}}},
      {"two in a row", "event: a\ndata: 1\n\nevent: b\ndata: 2\n\n", {{"a", "1"}, {"b", "2"}}},
      {"unknown fields ignored", "id: 7\nretry: 10\nevent: s\ndata: 4\n\n", {{"s", "4"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& events : {FeedAtOnce(c.stream), FeedByteByByte(c.stream)}) {
      ASSERT_EQ(events.size(), c.events.size());
      for (size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].type, c.events[i].first);
        EXPECT_EQ(events[i].data, c.events[i].second);
      }
    }
  }
}

TEST(BenchEventStream, StateGivesAliveAndTheModeOfOneChannel) {
  struct Case {
    const char* data;
    bool parsed;
    bool alive;
    const char* mode;
  };
  const Case cases[] = {
      {R"({"alive":true,"outputs":[{"n":0,"mode":"aus"},{"n":1,"mode":"ein"}]})", true, true,
       "ein"},
      {R"({"alive":false,"outputs":[{"n":1,"mode":"uhr"}]})", true, false, "uhr"},
      {R"({"alive":true,"outputs":[{"n":0,"mode":"aus"}]})", true, true, ""},
      {R"({"alive":true})", true, true, ""},
      // Wrong types are no match and no failure.
      {R"({"alive":"yes","outputs":[{"n":"1","mode":"ein"},{"n":1,"mode":3},7]})", true, false, ""},
      {R"({"alive":true,"outputs":{"n":1}})", true, true, ""},
      {R"([{"n":1,"mode":"ein"}])", false, false, ""},
      {R"({"alive":true,"outputs":[{"n":1,"mode":"ein"})", false, false, ""},
      {"", false, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.data);
    const std::optional<StateSeen> s = ParseState(c.data, 1);
    ASSERT_EQ(s.has_value(), c.parsed);
    if (!s) continue;
    EXPECT_EQ(s->alive, c.alive);
    EXPECT_EQ(s->mode, c.mode);
  }
}

}  // namespace
