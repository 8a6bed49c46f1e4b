// The run sequence every legacy command shares: matching, the usage line, "Status: ",
// and exceptions turned into "Error: " text.
#include "setup/argv_handler.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "platform/com.h"
#include "platform/process.h"
#include "setup/com_error.h"
#include "setup/excel_handlers.h"

namespace orvex {
namespace {

class ScriptedHandler final : public RtdSetupArgvHandlerBase {
 public:
  ScriptedHandler(std::string placeholder, std::function<int(const std::string&, std::string*)> run)
      : RtdSetupArgvHandlerBase("doIt", std::move(placeholder), "Does it"), run_(std::move(run)) {}
  std::string last_argument;

 protected:
  int Run(const std::string& argument) override {
    last_argument = argument;
    return run_(argument, &output_);
  }

 private:
  std::function<int(const std::string&, std::string*)> run_;
};

ArgvList Args(std::vector<std::string> tokens) {
  return ArgvList("C:\\Pendrel.exe", tokens);
}

TEST(ArgvHandlerTest, MatchesExactlyItsElementCountAndNameInAnyCase) {
  ScriptedHandler with_arg("<x>", [](const std::string&, std::string*) { return 1; });
  ScriptedHandler without("", [](const std::string&, std::string*) { return 1; });
  EXPECT_TRUE(with_arg.Matches(Args({"DOIT", "a"})));
  EXPECT_FALSE(with_arg.Matches(Args({"doIt"})));
  EXPECT_FALSE(with_arg.Matches(Args({"doIt", "a", "b"})));
  EXPECT_TRUE(without.Matches(Args({"doit"})));
  EXPECT_FALSE(without.Matches(Args({"doit", ""})));
  EXPECT_FALSE(without.Matches(Args({"doit2"})));
}

TEST(ArgvHandlerTest, UsageLineNamesTheRunningProgramAndThePlaceholder) {
  const std::string stem = ProgramStem(platform::CurrentExecutablePath());
  ScriptedHandler with_arg("<x>", [](const std::string&, std::string*) { return 1; });
  ScriptedHandler without("", [](const std::string&, std::string*) { return 1; });
  EXPECT_EQ(with_arg.Usage(), stem + " doIt <x> => Does it");
  EXPECT_EQ(without.Usage(), stem + " doIt => Does it");
}

TEST(ArgvHandlerTest, StatusOnlyWhenRunWroteNothingAndOutputStartsEmptyEachTime) {
  int result = -7;
  ScriptedHandler quiet("<x>", [&](const std::string&, std::string*) { return result; });
  EXPECT_EQ(quiet.Execute(Args({"doIt", "arg"})), -7);
  EXPECT_EQ(quiet.output(), "Status: -7");
  EXPECT_EQ(quiet.last_argument, "arg");
  result = 12;
  EXPECT_EQ(quiet.Execute(Args({"doIt", "arg"})), 12);
  EXPECT_EQ(quiet.output(), "Status: 12");

  ScriptedHandler talker("", [](const std::string&, std::string* out) {
    *out += "said";
    return 0;
  });
  EXPECT_EQ(talker.Execute(Args({"doIt", "ignored"})), 0);
  EXPECT_EQ(talker.output(), "said");
  EXPECT_EQ(talker.last_argument, "");
}

TEST(ArgvHandlerTest, ExceptionsBecomeErrorTextAfterWhatWasWrittenAndMinusOne) {
  uint32_t code = 0x80040201;
  ScriptedHandler com("", [&](const std::string&, std::string* out) -> int {
    *out += "partly ";
    throw ComError(code);
  });
  const std::string system_text = platform::SystemMessageText(code);
  EXPECT_EQ(com.Execute(Args({"doIt"})), -1);
  EXPECT_EQ(com.output(),
            "partly Error: " + (system_text.empty() ? "IDispatch error #1" : system_text) + "\n");

  ScriptedHandler other(
      "", [](const std::string&, std::string*) -> int { throw std::runtime_error("boom"); });
  EXPECT_EQ(other.Execute(Args({"doIt"})), -1);
  EXPECT_EQ(other.output(), "Error: Unspecified\n");
}

TEST(ComErrorTest, MessagesWithoutSystemText) {
  struct Case {
    uint32_t code;
    const char* text;
  } cases[] = {{0x8004FFFF, "IDispatch error #65023"},
               {0x80040200, "Unknown error 0x80040200"},
               {0x0000ABCD, "Unknown error 0xABCD"}};
  for (const auto& c : cases) {
    if (!platform::SystemMessageText(c.code).empty()) continue;  // the system has a text
    EXPECT_EQ(ComError(c.code).ErrorMessage(), c.text);
  }
}

TEST(SplitAddInPathsTest, CutsAtBarsTrimsAndDropsEmptyPieces) {
  using Pieces = std::vector<std::string>;
  EXPECT_EQ(SplitAddInPaths(" a.xll | \tb c.xll\r\n"), (Pieces{"a.xll", "b c.xll"}));
  EXPECT_EQ(SplitAddInPaths(" | |"), Pieces{});
  EXPECT_EQ(SplitAddInPaths(""), Pieces{});
  EXPECT_EQ(SplitAddInPaths("x||y|"), (Pieces{"x", "y"}));
}

}  // namespace
}  // namespace orvex
