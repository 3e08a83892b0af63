#include "core/RequestLines.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace {

// Records what the assembly hands over; "<too long>" marks a report.
class Recorder final : public RequestLines::Handler {
 public:
  void onLine(std::string_view line) override { events.emplace_back(line); }
  void onTooLong() override { events.emplace_back("<too long>"); }
  bool wantsMore() override { return events.size() < limit; }

  std::vector<std::string> events;
  size_t limit = SIZE_MAX;
};

class RequestLinesTest : public ::testing::Test {
 protected:
  // One receive of bytes, as the command port hands it over.
  std::vector<std::string> receive(const std::string& bytes) {
    lines.CollectRequestLine(bytes.data(), bytes.size(), recorder);
    return std::exchange(recorder.events, {});
  }
  using Events = std::vector<std::string>;

  RequestLines lines;
  Recorder recorder;
};

TEST_F(RequestLinesTest, LineInThreeReceivesIsHandedOverOnceAfterTheLast) {
  EXPECT_EQ(receive("cmd=do"), Events{});
  EXPECT_EQ(receive("ut&usernam"), Events{});
  EXPECT_EQ(receive("e=x&outn=1&mode=aus\r\n"), Events{"cmd=dout&username=x&outn=1&mode=aus\r"});
  EXPECT_EQ(receive("z"), Events{});
}

TEST_F(RequestLinesTest, EveryLineOfOneReceiveIsHandedOverAtOnceInOrder) {
  EXPECT_EQ(receive("first\r\nsecond\nthi"), (Events{"first\r", "second"}));
  // The rest waits for its line feed and is not glued to anything else.
  EXPECT_EQ(receive("rd\nfourth\n"), (Events{"third", "fourth"}));
}

TEST_F(RequestLinesTest, HandingOverStopsWhenTheHandlerWantsNoMore) {
  recorder.limit = 1;  // the client went while its first line ran
  EXPECT_EQ(receive("one\ntwo\n"), Events{"one"});
}

TEST_F(RequestLinesTest, PendingLineIsDroppedWhenItsClientGoes) {
  receive("cmd=debug&user");
  lines.reset();
  EXPECT_EQ(receive("name=x\n"), Events{"name=x"});
}

TEST_F(RequestLinesTest, LoneLineFeedAndLinesEmptiedByAZeroByteGiveNothing) {
  EXPECT_EQ(receive("\n"), Events{});
  EXPECT_EQ(receive(std::string("\0abc\n", 5)), Events{});
  EXPECT_EQ(receive("\r\n"), Events{"\r"});
}

TEST_F(RequestLinesTest, ZeroByteCutsTheLineButNotTheNextOne) {
  EXPECT_EQ(receive(std::string("cmd=debug\0&username=x\nnext\n", 27)),
            (Events{"cmd=debug", "next"}));
}

TEST_F(RequestLinesTest, LineOf1023CharactersIsWhole) {
  const std::string line(1023, 'a');
  EXPECT_EQ(receive(line + "\n"), Events{line});
}

TEST_F(RequestLinesTest, LineOf1024CharactersIsReportedOnceAndDroppedToItsLineFeed) {
  // Found too long with its 1024th character, before any line feed came.
  EXPECT_EQ(receive(std::string(1024, 'a')), Events{"<too long>"});
  EXPECT_EQ(receive(std::string(3000, 'b')), Events{});
  EXPECT_EQ(receive("ccc\nnext\n"), Events{"next"});
}

TEST_F(RequestLinesTest, TooLongLineAssembledOverSeveralReceivesIsCaughtToo) {
  EXPECT_EQ(receive(std::string(1000, 'a')), Events{});
  EXPECT_EQ(receive(std::string(23, 'a')), Events{});
  EXPECT_EQ(receive("a\nok\n"), (Events{"<too long>", "ok"}));
}

TEST_F(RequestLinesTest, ResetEndsTheDroppingOfATooLongLine) {
  receive(std::string(1100, 'a'));
  lines.reset();
  EXPECT_EQ(receive("fresh\n"), Events{"fresh"});
}

}  // namespace
