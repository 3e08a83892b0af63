#include "core/RequestParser.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/Reply.h"
#include "tests/support/TestInstallation.h"

namespace {

// Keeps every reply as a separate send, the user seen at each send.
class RecordingReply final : public ReplySink {
 public:
  explicit RecordingReply(Tessaro& t) : t_(t) {}
  void send(std::string_view bytes) override {
    sends.emplace_back(bytes);
    users.emplace_back(t_.CurrentUser != nullptr ? t_.CurrentUser : "(none)");
  }
  std::vector<std::string> sends;
  std::vector<std::string> users;

 private:
  Tessaro& t_;
};

class RequestParserTest : public ::testing::Test {
 protected:
  // Runs one line and returns its one reply.
  std::string request(std::string_view line) {
    reply.sends.clear();
    ParseUrlPara(inst.t(), line, reply);
    EXPECT_EQ(reply.sends.size(), 1u) << "for " << line;
    EXPECT_EQ(inst.t().CurrentUser, nullptr);
    return reply.sends.empty() ? std::string() : reply.sends.back();
  }

  TestInstallation inst;
  RecordingReply reply{inst.t()};
};

TEST_F(RequestParserTest, DebugRequestIsAnsweredOkByItsHandler) {
  EXPECT_EQ(request("cmd=debug&username=x&enaoutp=0"), "ok\r\n");
  EXPECT_FALSE(inst.t().EnableOutput);
  EXPECT_EQ(request("cmd=debug&username=x&enaoutp=1\r"), "ok\r\n");
  EXPECT_TRUE(inst.t().EnableOutput);
}

TEST_F(RequestParserTest, UserIsSetOnlyWhileTheHandlerRunsAndLogsItsInitial) {
  EXPECT_EQ(request("cmd=dout_timer&username=alice&outn=40&output=true"), "ok\r\n");
  EXPECT_EQ(reply.users, std::vector<std::string>{"alice"});
  EXPECT_EQ(inst.log(), "\n12:00:30 [a] ?: Timer = 0 min [ein]");
}

TEST_F(RequestParserTest, MissingOrEmptyUserNameExecutesNothing) {
  for (const char* line : {"cmd=debug&enaoutp=0", "cmd=debug&username=&enaoutp=0",
                           "cmd=debug&username&enaoutp=0", "cmd=nosuch&enaoutp=0",
                           // the first username counts, and it has no value
                           "cmd=debug&username&username=x&enaoutp=0"}) {
    EXPECT_EQ(request(line), "Kein Login vorhanden\r\n") << line;
    EXPECT_EQ(reply.users, std::vector<std::string>{"(none)"});
    reply.users.clear();
  }
  EXPECT_TRUE(inst.t().EnableOutput);
  EXPECT_FALSE(FileExists(inst.dir() + "/logfile.txt"));
}

TEST_F(RequestParserTest, LastCmdWins) {
  EXPECT_EQ(request("cmd=dout&cmd=foo&username=x"),
            "Tessaro.ParseUrlPara: unbekanntes Kommando: foo\r\n");
  EXPECT_EQ(request("cmd=foo&cmd=debug&username=x"), "ok\r\n");
  EXPECT_EQ(request("cmd=debug&username=x&cmd"), "Tessaro.ParseUrlPara: cmd = NULL\r\n");
}

TEST_F(RequestParserTest, CommandsAreComparedExactly) {
  EXPECT_EQ(request("cmd=DOUT&username=x"),
            "Tessaro.ParseUrlPara: unbekanntes Kommando: DOUT\r\n");
  EXPECT_EQ(request("cmd=debug &username=x"),
            "Tessaro.ParseUrlPara: unbekanntes Kommando: debug \r\n");
  EXPECT_EQ(request("CMD=debug&username=x"), "Tessaro.ParseUrlPara: cmd nicht vorhanden\r\n");
}

TEST_F(RequestParserTest, MissingCmdOrCmdWithoutValue) {
  EXPECT_EQ(request("username=x&enaoutp=0"), "Tessaro.ParseUrlPara: cmd nicht vorhanden\r\n");
  EXPECT_EQ(request("&&&"), "Tessaro.ParseUrlPara: cmd nicht vorhanden\r\n");
  EXPECT_EQ(request("cmd&username=x"), "Tessaro.ParseUrlPara: cmd = NULL\r\n");
  EXPECT_EQ(request("cmd=&username=x"), "Tessaro.ParseUrlPara: cmd = NULL\r\n");
  // checked before the user
  EXPECT_EQ(request("cmd="), "Tessaro.ParseUrlPara: cmd = NULL\r\n");
}

TEST_F(RequestParserTest, EightItemsRunAndNineAreRefused) {
  EXPECT_EQ(request("cmd=debug&username=x&enaoutp=0&a&b=1&c&d&e"), "ok\r\n");
  EXPECT_FALSE(inst.t().EnableOutput);
  EXPECT_EQ(request("cmd=debug&username=x&enaoutp=1&a&b=1&c&d&e&f"),
            "Tessaro.ParseUrlPara: zu viele parameter [>8]\r\n");
  EXPECT_FALSE(inst.t().EnableOutput);
  // empty items do not count
  EXPECT_EQ(request("&&cmd=debug&&username=x&enaoutp=1&a&&b&c&d&e&&"), "ok\r\n");
  EXPECT_TRUE(inst.t().EnableOutput);
}

TEST_F(RequestParserTest, ValueKeepsEverythingAfterTheFirstEqualsSign) {
  EXPECT_EQ(request("cmd=dout&username=x&outn=1&mode=a=b"),
            "Tessaro.Dout: mode=a=b nicht zul\xE4ssig");
  EXPECT_EQ(request("cmd=dout&username=x&outn=1&mode==ein"),
            "Tessaro.Dout: mode==ein nicht zul\xE4ssig");
}

TEST_F(RequestParserTest, ItemsOfOnlyEqualsSignsHoldAPlaceButMatchNoName) {
  EXPECT_EQ(request("==&cmd=debug&username=x&=&enaoutp=0"), "ok\r\n");
  EXPECT_FALSE(inst.t().EnableOutput);
  EXPECT_EQ(request("cmd=debug&username=x&enaoutp=1&=&==&===&=&=&="),
            "Tessaro.ParseUrlPara: zu viele parameter [>8]\r\n");
  // leading "=" of an item go
  EXPECT_EQ(request("==cmd=debug&=username=x&enaoutp=1"), "ok\r\n");
  EXPECT_TRUE(inst.t().EnableOutput);
}

TEST_F(RequestParserTest, NamesAndValuesAreTakenLiterally) {
  EXPECT_EQ(request("cmd=d%6Fut&username=x"),
            "Tessaro.ParseUrlPara: unbekanntes Kommando: d%6Fut\r\n");
  EXPECT_EQ(request("cmd=a+b&username=x"), "Tessaro.ParseUrlPara: unbekanntes Kommando: a+b\r\n");
}

TEST_F(RequestParserTest, ArgumentsReachTheirHandlers) {
  EXPECT_EQ(request("cmd=dout&username=x&mode=ein"), "Tessaro.Dout: outn_str nicht angegeben");
  EXPECT_EQ(request("cmd=dout&username=x&outn=1&mask=ein"),
            "Tessaro.Dout: mode_str nicht angegeben");
  EXPECT_EQ(request("cmd=dout_bin&username=x&outn=1&mode=ein"),
            "Tessaro.Dout_Bin: mask_str nicht angegeben");
  EXPECT_EQ(request("cmd=dout_bin&username=x&mask=1&mode=nix"),
            "Tessaro.Dout_Bin: mode=nix nicht definiert");
  EXPECT_EQ(request("cmd=dout_timer&username=x&time=3&output=true"),
            "Tessaro.Dout_Timer: outn_str nicht angegeben");
  EXPECT_EQ(request("cmd=dout_timer&username=x&outn=1&time=3"),
            "Tessaro.Dout_Timer: output_str nicht angegeben");
  EXPECT_EQ(request("cmd=dout_timer&username=x&outn=33&time=7&output=no"), "ok\r\n");
  EXPECT_EQ(inst.log(), "\n12:00:30 [x] ?: Timer = 7 min [off]");
}

TEST_F(RequestParserTest, NothingButLineEndsIsAnEmptyRequest) {
  EXPECT_EQ(request("\r"), "Tessaro.ParseUrlPara: urlpara leer\r\n");
  EXPECT_EQ(request("\r\n"), "Tessaro.ParseUrlPara: urlpara leer\r\n");
  EXPECT_EQ(request("\n\r\r"), "Tessaro.ParseUrlPara: urlpara leer\r\n");
  EXPECT_EQ(request(""), "Tessaro.ParseUrlPara: urlpara leer\r\n");
  EXPECT_EQ(request(std::string_view("\0cmd=debug&username=x", 21)),
            "Tessaro.ParseUrlPara: urlpara leer\r\n");
}

TEST_F(RequestParserTest, OnlyTheTextBeforeTheFirstLineEndCounts) {
  EXPECT_EQ(request("\n\ncmd=debug&username=x&enaoutp=0\r\ncmd=nosuch\n"), "ok\r\n");
  EXPECT_FALSE(inst.t().EnableOutput);
  EXPECT_EQ(request("\r\rcmd=debug&username=x\r&enaoutp=1"), "ok\r\n");
  EXPECT_FALSE(inst.t().EnableOutput);  // enaoutp was behind the CR
  EXPECT_EQ(request(std::string_view("cmd=debug&username=x\0&enaoutp=1", 31)), "ok\r\n");
  EXPECT_FALSE(inst.t().EnableOutput);  // and here behind a zero byte
}

TEST_F(RequestParserTest, LongCommandIsEchoedCutTo1023Characters) {
  const std::string command(990, 'c');
  const std::string answer = request("cmd=" + command + "&username=x");
  EXPECT_EQ(answer.size(), 1023u);
  EXPECT_EQ(answer.substr(0, 45), "Tessaro.ParseUrlPara: unbekanntes Kommando: c");
}

TEST(ParamTable, SplitsIntoNamesAndValuesInLineOrder) {
  ParamTable p;
  ASSERT_EQ(p.split("a=1&&b&===&c=&cmd=x=y&cmd=z\r\n"), ParamTable::Split::Ok);
  ASSERT_EQ(p.count(), 6);
  EXPECT_STREQ(p.name(0), "a");
  EXPECT_STREQ(p.value(0), "1");
  EXPECT_STREQ(p.name(1), "b");
  EXPECT_EQ(p.value(1), nullptr);
  EXPECT_EQ(p.name(2), nullptr);
  EXPECT_STREQ(p.name(3), "c");
  EXPECT_EQ(p.value(3), nullptr);
  EXPECT_STREQ(p.value(4), "x=y");
  EXPECT_EQ(p.commandPosition(), 5);
  EXPECT_STREQ(p.GetParam("cmd"), "x=y");  // the first for GetParam
  EXPECT_EQ(p.GetParam("b"), nullptr);
  EXPECT_EQ(p.GetParam("A"), nullptr);
}

TEST(ParamTable, ASecondSplitClearsTheFirst) {
  ParamTable p;
  ASSERT_EQ(p.split("a=1&b=2&cmd=3"), ParamTable::Split::Ok);
  ASSERT_EQ(p.split("x=9"), ParamTable::Split::Ok);
  EXPECT_EQ(p.count(), 1);
  EXPECT_EQ(p.commandPosition(), -1);
  EXPECT_EQ(p.GetParam("a"), nullptr);
  EXPECT_EQ(p.name(1), nullptr);
  EXPECT_EQ(p.split("1&2&3&4&5&6&7&8&9"), ParamTable::Split::TooMany);
  EXPECT_EQ(p.GetParam("x"), nullptr);
}

}  // namespace
