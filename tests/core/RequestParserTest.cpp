#include "core/RequestParser.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/RecordingReply.h"
#include "tests/support/TestInstallation.h"

namespace {

constexpr char kNoCmd[] = "Tessaro.ParseUrlPara: cmd nicht vorhanden\r\n";
constexpr char kCmdNull[] = "Tessaro.ParseUrlPara: cmd = NULL\r\n";
constexpr char kTooMany[] = "Tessaro.ParseUrlPara: zu viele parameter [>8]\r\n";
constexpr char kEmpty[] = "Tessaro.ParseUrlPara: urlpara leer\r\n";

std::string Unknown(const std::string& command) {
  return "Tessaro.ParseUrlPara: unbekanntes Kommando: " + command + "\r\n";
}

// A request line, its reply and, where given, whether output writing is on
// after it.
struct Exchange {
  std::string line;
  std::string reply;
  std::optional<bool> enabled = std::nullopt;
};

class RequestParserTest : public ::testing::Test {
 protected:
  // Runs one line and returns its one reply.
  std::string request(std::string_view line) {
    reply.sends.clear();
    ParseUrlPara(inst.t(), line, reply);
    EXPECT_EQ(reply.sends.size(), 1u) << "for " << line;
    EXPECT_EQ(inst.t().eventLog.user(), nullptr);
    return reply.sends.empty() ? std::string() : reply.sends.back();
  }
  // Runs the lines in turn on one installation.
  void exchange(std::initializer_list<Exchange> rows) {
    for (const Exchange& row : rows) {
      SCOPED_TRACE(::testing::PrintToString(row.line));
      EXPECT_EQ(request(row.line), row.reply);
      if (row.enabled) {
        EXPECT_EQ(inst.t().EnableOutput, *row.enabled);
      }
    }
  }

  TestInstallation inst;
  RecordingReply reply{inst.t()};
};

TEST_F(RequestParserTest, DebugRequestIsAnsweredOkByItsHandler) {
  exchange({{"cmd=debug&username=x&enaoutp=0", "ok\r\n", false},
            {"cmd=debug&username=x&enaoutp=1\r", "ok\r\n", true}});
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
    SCOPED_TRACE(line);
    EXPECT_EQ(request(line), "Kein Login vorhanden\r\n");
    EXPECT_EQ(reply.users, std::vector<std::string>{"(none)"});
    reply.users.clear();
  }
  EXPECT_TRUE(inst.t().EnableOutput);
  EXPECT_FALSE(inst.exists("logfile.txt"));
}

TEST_F(RequestParserTest, LastCmdWins) {
  exchange({{"cmd=dout&cmd=foo&username=x", Unknown("foo")},
            {"cmd=foo&cmd=debug&username=x", "ok\r\n"},
            {"cmd=debug&username=x&cmd", kCmdNull}});
}

TEST_F(RequestParserTest, CommandsAreComparedExactly) {
  exchange({{"cmd=DOUT&username=x", Unknown("DOUT")},
            {"cmd=debug &username=x", Unknown("debug ")},
            {"CMD=debug&username=x", kNoCmd}});
}

TEST_F(RequestParserTest, MissingCmdOrCmdWithoutValue) {
  exchange({{"username=x&enaoutp=0", kNoCmd}, {"&&&", kNoCmd},
            {"cmd&username=x", kCmdNull}, {"cmd=&username=x", kCmdNull},
            {"cmd=", kCmdNull}});  // checked before the user
}

TEST_F(RequestParserTest, EightItemsRunAndNineAreRefused) {
  exchange({{"cmd=debug&username=x&enaoutp=0&a&b=1&c&d&e", "ok\r\n", false},
            {"cmd=debug&username=x&enaoutp=1&a&b=1&c&d&e&f", kTooMany, false},
            // empty items do not count
            {"&&cmd=debug&&username=x&enaoutp=1&a&&b&c&d&e&&", "ok\r\n", true}});
}

TEST_F(RequestParserTest, ValueKeepsEverythingAfterTheFirstEqualsSign) {
  exchange({{"cmd=dout&username=x&outn=1&mode=a=b", "Tessaro.Dout: mode=a=b nicht zul\xE4ssig"},
            {"cmd=dout&username=x&outn=1&mode==ein", "Tessaro.Dout: mode==ein nicht zul\xE4ssig"}});
}

TEST_F(RequestParserTest, ItemsOfOnlyEqualsSignsHoldAPlaceButMatchNoName) {
  exchange({{"==&cmd=debug&username=x&=&enaoutp=0", "ok\r\n", false},
            {"cmd=debug&username=x&enaoutp=1&=&==&===&=&=&=", kTooMany, false},
            // leading "=" of an item go
            {"==cmd=debug&=username=x&enaoutp=1", "ok\r\n", true}});
}

TEST_F(RequestParserTest, NamesAndValuesAreTakenLiterally) {
  exchange({{"cmd=d%6Fut&username=x", Unknown("d%6Fut")},
            {"cmd=a+b&username=x", Unknown("a+b")}});
}

TEST_F(RequestParserTest, ArgumentsReachTheirHandlers) {
  exchange({{"cmd=dout&username=x&mode=ein", "Tessaro.Dout: outn_str nicht angegeben"},
            {"cmd=dout&username=x&outn=1&mask=ein", "Tessaro.Dout: mode_str nicht angegeben"},
            {"cmd=dout_bin&username=x&outn=1&mode=ein",
             "Tessaro.Dout_Bin: mask_str nicht angegeben"},
            {"cmd=dout_bin&username=x&mask=1&mode=nix",
             "Tessaro.Dout_Bin: mode=nix nicht definiert"},
            {"cmd=dout_timer&username=x&time=3&output=true",
             "Tessaro.Dout_Timer: outn_str nicht angegeben"},
            {"cmd=dout_timer&username=x&outn=1&time=3",
             "Tessaro.Dout_Timer: output_str nicht angegeben"},
            {"cmd=dout_timer&username=x&outn=33&time=7&output=no", "ok\r\n"}});
  EXPECT_EQ(inst.log(), "\n12:00:30 [x] ?: Timer = 7 min [off]");
}

TEST_F(RequestParserTest, NothingButLineEndsIsAnEmptyRequest) {
  exchange({{"\r", kEmpty}, {"\r\n", kEmpty}, {"\n\r\r", kEmpty}, {"", kEmpty},
            {std::string("\0cmd=debug&username=x", 21), kEmpty}});
}

TEST_F(RequestParserTest, OnlyTheTextBeforeTheFirstLineEndCounts) {
  exchange({{"\n\ncmd=debug&username=x&enaoutp=0\r\ncmd=nosuch\n", "ok\r\n", false},
            // enaoutp behind the CR
            {"\r\rcmd=debug&username=x\r&enaoutp=1", "ok\r\n", false},
            // and behind a zero byte
            {std::string("cmd=debug&username=x\0&enaoutp=1", 31), "ok\r\n", false}});
}

TEST_F(RequestParserTest, LongCommandIsEchoedCutTo1023Characters) {
  const std::string command(990, 'c');
  const std::string answer = request("cmd=" + command + "&username=x");
  EXPECT_EQ(answer.size(), 1023u);
  EXPECT_EQ(answer.substr(0, 45), "Tessaro.ParseUrlPara: unbekanntes Kommando: c");
}

// The items of a split line as name=value, "-" for a name or value not there.
std::vector<std::string> Items(const ParamTable& p) {
  const auto text = [](const char* s) { return std::string(s != nullptr ? s : "-"); };
  std::vector<std::string> items;
  for (int32_t i = 0; i < p.count(); ++i) items.push_back(text(p.name(i)) + "=" + text(p.value(i)));
  return items;
}

TEST(ParamTable, SplitsIntoNamesAndValuesInLineOrder) {
  ParamTable p;
  ASSERT_EQ(p.split("a=1&&b&===&c=&cmd=x=y&cmd=z\r\n"), ParamTable::Split::Ok);
  EXPECT_EQ(Items(p), (std::vector<std::string>{"a=1", "b=-", "-=-", "c=-", "cmd=x=y", "cmd=z"}));
  EXPECT_EQ(p.commandPosition(), 5);
  EXPECT_STREQ(p.GetParam("cmd"), "x=y");  // the first for GetParam
  EXPECT_EQ(p.GetParam("b"), nullptr);
  EXPECT_EQ(p.GetParam("A"), nullptr);
}

TEST(ParamTable, ASecondSplitClearsTheFirst) {
  ParamTable p;
  ASSERT_EQ(p.split("a=1&b=2&cmd=3"), ParamTable::Split::Ok);
  ASSERT_EQ(p.split("x=9"), ParamTable::Split::Ok);
  EXPECT_EQ(Items(p), std::vector<std::string>{"x=9"});
  EXPECT_EQ(p.commandPosition(), -1);
  EXPECT_EQ(p.GetParam("a"), nullptr);
  EXPECT_EQ(p.name(1), nullptr);
  EXPECT_EQ(p.split("1&2&3&4&5&6&7&8&9"), ParamTable::Split::TooMany);
  EXPECT_EQ(p.GetParam("x"), nullptr);
}

}  // namespace
