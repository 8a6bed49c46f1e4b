// Splitting the command-line tail, the parameters after the program name, the stem.
#include "setup/argv_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvex {
namespace {

using Tokens = std::vector<std::string>;

TEST(SplitCommandTailTest, WhiteSpaceOfAnyKindSeparatesAndNothingElse) {
  EXPECT_EQ(SplitCommandTail(""), Tokens{});
  EXPECT_EQ(SplitCommandTail(" \t\r\n\v\f "), Tokens{});
  EXPECT_EQ(SplitCommandTail("RTD\t/A\n C:\\x\\ "), (Tokens{"RTD", "/A", "C:\\x\\"}));
}

TEST(SplitCommandTailTest, QuotesDelimitOneTokenWithoutTheQuotes) {
  EXPECT_EQ(SplitCommandTail("RegXLL \"C:\\My Folder\\\""), (Tokens{"RegXLL", "C:\\My Folder\\"}));
  // Two quotes in a row are an empty token of their own.
  EXPECT_EQ(SplitCommandTail("TLCheck \"\" /A"), (Tokens{"TLCheck", "", "/A"}));
  EXPECT_EQ(SplitCommandTail("\"\"\"\""), (Tokens{"", ""}));
}

TEST(SplitCommandTailTest, TokensAreNeverJoinedAcrossAClosingQuote) {
  EXPECT_EQ(SplitCommandTail("\"a b\"c d"), (Tokens{"a b", "c", "d"}));
  EXPECT_EQ(SplitCommandTail("\"a\"\"b\""), (Tokens{"a", "b"}));
  // A quote inside an unquoted token is an ordinary character; the token still ends
  // at white space, so the quoted run is not kept together.
  EXPECT_EQ(SplitCommandTail("x\"a b\""), (Tokens{"x\"a", "b\""}));
}

TEST(SplitCommandTailTest, AQuoteWithoutPartnerIsAnOrdinaryCharacter) {
  EXPECT_EQ(SplitCommandTail("RegXLL \"C:\\My Folder"), (Tokens{"RegXLL", "\"C:\\My", "Folder"}));
  EXPECT_EQ(SplitCommandTail("\""), (Tokens{"\""}));
  EXPECT_EQ(SplitCommandTail("a \"b\" \"c"), (Tokens{"a", "b", "\"c"}));
}

TEST(CommandLineParametersTest, SkipsTheProgramNameQuotedOrNot) {
  EXPECT_EQ(CommandLineParameters("  \"C:\\Program Files\\Pendrel.exe\"  RTD /A  "), "RTD /A");
  EXPECT_EQ(CommandLineParameters("C:\\x\\Pendrel.exe \"a b\" c"), "\"a b\" c");
  // A closing quote ends the name even with text right after it.
  EXPECT_EQ(CommandLineParameters("\"Pendrel\"RTD"), "RTD");
  EXPECT_EQ(CommandLineParameters("Pendrel.exe"), "");
  EXPECT_EQ(CommandLineParameters("\"unclosed name RTD"), "");
  EXPECT_EQ(CommandLineParameters(""), "");
}

TEST(ProgramStemTest, FileNameWithoutDirectoryAndLastExtension) {
  EXPECT_EQ(ProgramStem("C:\\Tools.v2\\Pendrel.exe"), "Pendrel");
  EXPECT_EQ(ProgramStem("/usr/local/bin/pendrel"), "pendrel");
  EXPECT_EQ(ProgramStem("setup.tool.exe"), "setup.tool");
  EXPECT_EQ(ProgramStem(""), "");
}

TEST(ArgvListTest, ElementZeroIsTheProgramAndOutOfRangeIsEmpty) {
  const ArgvList args("C:\\Pendrel.exe", {"RTD", ""});
  EXPECT_EQ(args.count(), 3);
  EXPECT_EQ(args.Arg(0), "C:\\Pendrel.exe");
  EXPECT_EQ(args.Arg(1), "RTD");
  EXPECT_EQ(args.Arg(2), "");
  EXPECT_EQ(args.Arg(3), "");
  EXPECT_EQ(args.Arg(-1), "");
  EXPECT_EQ(ArgvList().count(), 0);
}

}  // namespace
}  // namespace orvex
