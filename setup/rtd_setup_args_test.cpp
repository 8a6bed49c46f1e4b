// Parsing the simplified grammar: words, switches, the folder and the first error.
#include "setup/rtd_setup_args.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace orvex {
namespace {

RtdSetupArgs Parse(std::vector<std::string> tokens) {
  RtdSetupArgs parsed;
  parsed.Parse(ArgvList("C:\\P\\Pendrel.exe", tokens));
  return parsed;
}

TEST(RtdSetupArgsTest, TooFewArgumentsLeavesEverythingElseClear) {
  RtdSetupArgs parsed;
  parsed.folder = "stale";
  parsed.all_users = true;
  parsed.Parse(ArgvList("C:\\P\\Pendrel.exe", {}));
  EXPECT_EQ(parsed.error, "Too few arguments");
  EXPECT_EQ(parsed.program, "");
  EXPECT_EQ(parsed.folder, "");
  EXPECT_FALSE(parsed.all_users);
  EXPECT_FALSE(parsed.not_an_action);
}

TEST(RtdSetupArgsTest, ActionWordsInAnyCaseOthersAreNotActions) {
  for (const char* word :
       {"tavxl",    "RTD",      "regxll",     "cleanxll",   "STOP",       "drop",
        "Clean",    "runcu",    "RUNAU",      "cleanau",    "cleancu",    "rtdruncu",
        "RTDRUNAU", "rtdclean", "rtdcleanau", "rtdcleancu", "configfile", "unconfigfile",
        "tladd",    "tlremove", "tlcheck",    "test",       "selfdelete", "?",
        "/?",       "HELP"}) {
    EXPECT_NE(FindSetupAction(word), SetupAction::kNone) << word;
  }
  const RtdSetupArgs parsed = Parse({"xllInstall", "/A"});
  EXPECT_TRUE(parsed.not_an_action);
  EXPECT_EQ(parsed.error, "Action not recognized: xllInstall");
  EXPECT_EQ(FindSetupAction("RTDX"), SetupAction::kNone);
  EXPECT_EQ(FindSetupAction(""), SetupAction::kNone);
}

TEST(RtdSetupArgsTest, SwitchesMatchOverTheirFullLengthWithoutRegardToCase) {
  RtdSetupArgs parsed = Parse({"TavXL", "/a", "/xar", "/s", "C:\\dir"});
  EXPECT_EQ(parsed.error, "");
  EXPECT_TRUE(parsed.all_users);
  EXPECT_TRUE(parsed.no_auto_run);
  EXPECT_TRUE(parsed.switch_s);
  EXPECT_EQ(parsed.folder, "C:\\dir");
  EXPECT_EQ(parsed.action, "TavXL");
  EXPECT_EQ(parsed.program, "C:\\P\\Pendrel.exe");
  EXPECT_EQ(Parse({"TavXL", "/xa"}).error, "Unknown switch: /xa");
  EXPECT_EQ(Parse({"TavXL", "/XARR"}).error, "Unknown switch: /XARR");
  EXPECT_EQ(Parse({"RTD", "/"}).error, "Unknown switch: /");
}

TEST(RtdSetupArgsTest, TheFirstErrorEndsParsing) {
  EXPECT_EQ(Parse({"RTD", "/a", "/A"}).error, "Repeated switch /A");
  EXPECT_EQ(Parse({"RTD", "/S", "/s"}).error, "Repeated switch /S");
  EXPECT_EQ(Parse({"TavXL", "/XAR", "/xAr"}).error, "Repeated switch /XAR");
  EXPECT_EQ(Parse({"RTD", "/a", "/b", "/A"}).error, "Unknown switch: /b");
  RtdSetupArgs parsed = Parse({"RTD", "one", "two", "/b"});
  EXPECT_EQ(parsed.error, "Unexpected argument: two");
  EXPECT_EQ(parsed.folder, "one");
}

TEST(RtdSetupArgsTest, AnEmptyElementTakesTheFolderPlace) {
  const RtdSetupArgs parsed = Parse({"RegXLL", "", "C:\\x"});
  EXPECT_EQ(parsed.error, "Unexpected argument: C:\\x");
  EXPECT_EQ(Parse({"RegXLL", ""}).folder, "");
  EXPECT_EQ(Parse({"RegXLL", ""}).error, "");
}

TEST(RtdSetupArgsTest, ConfigurationWordsReserveTheirPositionsOnlyWhenSpelledExactly) {
  // Positions 2 to 5 are the configuration's own; position 6 is the folder.
  RtdSetupArgs parsed = Parse({"ConfigFile", "CU", "1.0", "MSI_ALL", "/x", "C:\\dir"});
  EXPECT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.folder, "C:\\dir");
  parsed = Parse({"configfile", "CU", "1.0", "MSI_ALL"});
  EXPECT_FALSE(parsed.not_an_action);
  EXPECT_EQ(parsed.error, "Unexpected argument: 1.0");
  EXPECT_EQ(Parse({"UnConfigFile", "/bad"}).error, "");
  EXPECT_EQ(Parse({"UnConfigFile", "AU", "/bad"}).error, "Unknown switch: /bad");
  EXPECT_EQ(Parse({"UNCONFIGFILE", "AU"}).folder, "AU");
}

TEST(RtdSetupArgsTest, WhereSlashSeparatesFoldersAnAbsolutePathIsAFolder) {
  const RtdSetupArgs parsed = Parse({"RegXLL", "/opt/orvex/"});
  if (std::filesystem::path::preferred_separator == '/') {
    EXPECT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.folder, "/opt/orvex/");
  } else {
    EXPECT_EQ(parsed.error, "Unknown switch: /opt/orvex/");
  }
  // One name after "/" stays a switch unless, on POSIX, it names an existing folder;
  // the switches' own spellings are switches even then.
  EXPECT_EQ(Parse({"RegXLL", "/no-such-folder-here"}).error,
            "Unknown switch: /no-such-folder-here");
  EXPECT_EQ(Parse({"RegXLL", "/"}).error, "Unknown switch: /");
  const RtdSetupArgs single = Parse({"RegXLL", "/tmp"});
  if (std::filesystem::path::preferred_separator == '/') {
    EXPECT_EQ(single.error, "");
    EXPECT_EQ(single.folder, "/tmp");
  } else {
    EXPECT_EQ(single.error, "Unknown switch: /tmp");
  }
  EXPECT_TRUE(Parse({"RTD", "/a"}).all_users);
}

}  // namespace
}  // namespace orvex
