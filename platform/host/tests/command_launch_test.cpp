// Command lines split and started the way WinExec takes them; the splitting rules are
// checked on both backends, so the POSIX splitter matches the Windows shell's.
#include "platform/process.h"

#include <gtest/gtest.h>

namespace orvex::platform {
namespace {

using Tokens = std::vector<std::string>;

TEST(SplitCommandLine, BlanksSeparateAndQuotesGroup) {
  EXPECT_EQ(SplitCommandLine("pub -a  b\tc"), (Tokens{"pub", "-a", "b", "c"}));
  EXPECT_EQ(SplitCommandLine("pub \"two words\" x\"y z\"w"), (Tokens{"pub", "two words", "xy zw"}));
  EXPECT_EQ(SplitCommandLine("pub \"\" end"), (Tokens{"pub", "", "end"}));
  EXPECT_EQ(SplitCommandLine("pub trailing   "), (Tokens{"pub", "trailing"}));
  EXPECT_TRUE(SplitCommandLine("").empty());
  EXPECT_TRUE(SplitCommandLine("   ").empty());
}

TEST(SplitCommandLine, TheProgramKeepsBackslashesAndEndsAtItsQuote) {
  EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\Tav\\pub.exe\" -x"),
            (Tokens{"C:\\Program Files\\Tav\\pub.exe", "-x"}));
  EXPECT_EQ(SplitCommandLine("C:\\Tav\\pub.exe"), (Tokens{"C:\\Tav\\pub.exe"}));
  EXPECT_EQ(SplitCommandLine("\"C:\\dir\\\" next"), (Tokens{"C:\\dir\\", "next"}));
}

TEST(SplitCommandLine, BackslashesCountOnlyBeforeAQuote) {
  EXPECT_EQ(SplitCommandLine("p a\\b\\\\c"), (Tokens{"p", "a\\b\\\\c"}));
  EXPECT_EQ(SplitCommandLine("p a\\\"b"), (Tokens{"p", "a\"b"}));
  EXPECT_EQ(SplitCommandLine("p a\\\\\\\"b"), (Tokens{"p", "a\\\"b"}));
  EXPECT_EQ(SplitCommandLine("p \"a\\\\\" b"), (Tokens{"p", "a\\", "b"}));
  EXPECT_EQ(SplitCommandLine("p \"say \\\"hi\\\"\""), (Tokens{"p", "say \"hi\""}));
}

TEST(LaunchCommandLine, StartedProgramsAnswer32OrMore) {
  const std::string self = CurrentExecutablePath();
  EXPECT_GE(LaunchCommandLine("\"" + self + "\" --gtest_list_tests", 6), 32u);
  EXPECT_LT(LaunchCommandLine("orvex-no-such-program-anywhere", 6), 32u);
  EXPECT_LT(LaunchCommandLine("", 6), 32u);
}

}  // namespace
}  // namespace orvex::platform
