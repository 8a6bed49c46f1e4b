// The dispatcher in this process: which grammar runs, help, parse errors, the folder
// check, the usage text's bytes and the action's trace line.
#include "setup/rtd_setup_dispatcher.h"

#include <gtest/gtest.h>

#include "excel/testing/excel_test_registry.h"
#include "setup/legacy_handlers.h"
#include "setup/usage_text.h"
#include "threading/trace.h"

namespace orvex {
namespace {

constexpr const char* kProgram = "C:\\Tools\\Pendrel.exe";

class DispatcherTest : public excel_test::ExcelRegistryTest {
 protected:
  int Run(std::vector<std::string> tokens, std::string program = kProgram) {
    return dispatcher_.Execute(ArgvList(std::move(program), tokens), &output_);
  }
  std::string Usage() const { return dispatcher_.UsageText("Pendrel"); }

  RtdSetupDispatcher dispatcher_;
  std::string output_;
};

TEST_F(DispatcherTest, UsageTextHasBothHeadingsTheStemAndEveryHandlerInOrder) {
  const std::string usage = Usage();
  const std::string simplified = SimplifiedUsageText("Pendrel");
  ASSERT_EQ(usage.rfind("\nSimplified Usage:" + simplified + "\nLegacy Usage:", 0), 0u);
  std::string legacy;
  for (const auto& handler : MakeLegacyHandlers()) legacy += "\n\t" + handler->Usage();
  EXPECT_EQ(usage.substr(usage.find("\nLegacy Usage:") + 14), legacy);
  EXPECT_EQ(simplified.substr(0, 255),
            "\n\tPendrel TavXL [/A] [/XAR] [<folder>]"
            "\n\t\tRegisters existing TavXL components"
            "\n\t\t/A => for all users - otherwise for current user only"
            "\n\t\t/XAR => do not create auto-run entry"
            "\n\t\t<folder> => root folder. Default is Pendrel location"
            "\n\tPendrel RTD [/A] [<folder>]");
  EXPECT_NE(simplified.find("\n\tPendrel CleanXLL \n\t\tUnregisters known XLL components - "
                            "current user only\n\t\t<folder> => root folder. Default is "
                            "Pendrel location\n\tPendrel STOP\n\t\tStops"),
            std::string::npos);
  EXPECT_TRUE(simplified.ends_with(
      "\n\tPendrel TLCheck [<folder>]\n\t\tChecks if folder is in Excel trusted locations"
      "\n\t\t<folder> => root folder. Default is Pendrel location"));
}

TEST_F(DispatcherTest, NoArgumentsIsAParseErrorFollowedByTheUsage) {
  EXPECT_EQ(Run({}), -1);
  EXPECT_EQ(output_, "Error parsing arguments: Too few arguments" + Usage());
}

TEST_F(DispatcherTest, HelpInAnyCaseWinsOverASwitchError) {
  for (const char* word : {"?", "/?", "help", "HELP"}) {
    EXPECT_EQ(Run({word, "/bogus", "/A", "/A"}), 0) << word;
    EXPECT_EQ(output_, "Usage: " + Usage()) << word;
  }
}

TEST_F(DispatcherTest, SwitchAndArgumentErrorsAreMinusOneWithTheUsage) {
  EXPECT_EQ(Run({"RTD", "/a", "/b"}), -1);
  EXPECT_EQ(output_, "Error parsing arguments: Unknown switch: /b" + Usage());
  EXPECT_EQ(Run({"RTD", Folder(), Folder()}), -1);
  EXPECT_EQ(output_, "Error parsing arguments: Unexpected argument: " + Folder() + Usage());
}

TEST_F(DispatcherTest, WordsOfNeitherGrammarGiveTheUsageAndZero) {
  EXPECT_EQ(Run({"Register"}), 0);
  EXPECT_EQ(output_, Usage());
  EXPECT_EQ(Run({"xllInstall"}), 0);  // without its argument no handler matches
  EXPECT_EQ(output_, Usage());
  EXPECT_EQ(Run({"xlVer", "extra"}), 0);
  EXPECT_EQ(output_, Usage());
}

TEST_F(DispatcherTest, LegacyCommandsRunWithTheirOwnOutput) {
  RegisterVersion("Excel.Application.16");
  EXPECT_EQ(Run({"XLVER"}), 16);
  EXPECT_EQ(output_, "Excel Version = 16");
  EXPECT_EQ(Run({"xllTest", "nothing.xll"}), 0);
  EXPECT_EQ(output_, "Status: 0");
}

TEST_F(DispatcherTest, AFolderMustBeAnExistingDirectory) {
  const std::string missing = Folder() + Separator() + "missing";
  EXPECT_EQ(Run({"RegXLL", missing}), -1);
  EXPECT_EQ(output_, "Specified folder not found:\n\t" + missing);
  const std::string file = MakeFile("plain.txt");
  EXPECT_EQ(Run({"TLCheck", file}), -1);
  EXPECT_EQ(output_, "Specified folder not found:\n\t" + file);
}

TEST_F(DispatcherTest, TrustedLocationWordsAndTheirTraceLine) {
  RegisterVersion();
  EXPECT_EQ(Run({"TLCheck", Folder()}), 0);
  EXPECT_EQ(output_, "NO");
  EXPECT_EQ(TheTraceRecord().text, "RtdSetupDispatcher::Execute TLCheck " + Folder());
  EXPECT_EQ(Run({"tladd", Folder()}), 1);
  EXPECT_EQ(output_, "Success");
  EXPECT_EQ(TheTraceRecord().text, "RtdSetupDispatcher::Execute TLAdd " + Folder());
  EXPECT_EQ(Run({"TLCheck", Folder()}), 1);
  EXPECT_EQ(output_, "YES");
  EXPECT_EQ(Run({"TLRemove", Folder()}), 1);
  EXPECT_EQ(output_, "Success");
  EXPECT_EQ(Run({"TLRemove", Folder()}), 0);
  EXPECT_EQ(output_, "Failed");
}

TEST_F(DispatcherTest, WithoutAFolderTheProgramDirectoryIsUsedWithItsSeparator) {
  RegisterVersion();
  EXPECT_EQ(Run({"TLCheck"}, Folder() + Separator() + "Pendrel.exe"), 0);
  EXPECT_EQ(TheTraceRecord().text, "RtdSetupDispatcher::Execute TLCheck " + Folder() + Separator());
}

TEST_F(DispatcherTest, ConfigurationArgumentsAreCheckedWithRegardToCase) {
  EXPECT_EQ(Run({"ConfigFile", "cu", "1.0", "MSI_ALL"}), -1);
  EXPECT_EQ(output_, "Error args: cu. Expected: CU, AU.");
  // The trace line is built from elements 1 to 4, whatever they hold.
  EXPECT_EQ(TheTraceRecord().text, "RtdSetupDispatcher::ExecuteConfigFile cu 1.0 MSI_ALL ");
  EXPECT_EQ(Run({"ConfigFile", "AU", "1.0", "msi_all"}), -1);
  EXPECT_EQ(output_, "Error args: msi_all. Expected: MSI_ALL, MSI_NA, EXE_ALL, EXE_NA, EXE_MIX.");
  EXPECT_EQ(Run({"UnConfigFile"}), -1);
  EXPECT_EQ(output_, "Error args: . Expected: CU, AU.");
}

// Each run and clean action writes its own label and scope. Nothing here reaches the stop
// flow (it would ask this user's programs to close): the clean flows answer at once
// while the entries that make them do nothing are registered.
TEST_F(DispatcherTest, RunAndCleanActionsReportTheirOwnLabelsAndScopes) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> nothing_registered = {
      {{"RegXLL", Folder()}, "KnownXLLs Registration FAILED"},  // no add-in files here
      {{"CleanXLL"}, "KnownXLLs Unregistration SUCCESS"},
      {{"RunCU", Folder()}, "TavXL Run CU FAILED"},   // no product files
      {{"RTDRunCU", Folder()}, "RTD Run CU FAILED"},  // no bus program to start
      {{"CleanCU", Folder()}, "TavXL Clean CU SUCCESS"},
      {{"RTDCleanCU"}, "RTD Clean CU SUCCESS"},
  };
  for (const auto& [tokens, report] : nothing_registered) {
    EXPECT_EQ(Run(tokens), report.ends_with("SUCCESS") ? 1 : 0) << tokens[0];
    EXPECT_EQ(output_, report);
  }
  // A per-user RTD installation makes the all-users run and clean flows stand aside.
  const SfRegKeyPath user_run(RegRoot::kCurrentUser,
                              "Software\\Microsoft\\Windows\\CurrentVersion\\Run");
  ASSERT_TRUE(user_run.Create());
  ASSERT_TRUE(user_run.WriteString("RTDRunCU", "\"x\" RTDRunCU"));
  const SfRegKeyPath machine_run(RegRoot::kLocalMachine,
                                 "Software\\Microsoft\\Windows\\CurrentVersion\\Run");
  ASSERT_TRUE(machine_run.Create());
  ASSERT_TRUE(machine_run.WriteString("TavRunAU", "\"x\" RunAU"));
  const std::vector<std::pair<std::vector<std::string>, std::string>> standing_aside = {
      {{"RunAU", Folder()}, "TavXL Run AU SUCCESS"},  {{"CleanAU"}, "TavXL Clean AU SUCCESS"},
      {{"RTDRunAU", Folder()}, "RTD Run AU SUCCESS"},  // StartBus alone would fail here
      {{"RTDClean"}, "RTD Clean AU SUCCESS"},         {{"RTDCleanAU"}, "RTD Clean AU SUCCESS"},
  };
  for (const auto& [tokens, report] : standing_aside) {
    EXPECT_EQ(Run(tokens), 1) << tokens[0];
    EXPECT_EQ(output_, report);
  }
}

TEST_F(DispatcherTest, TheDecisionNamesWhatWouldRunWithoutRunningOrCheckingTheFolder) {
  using Kind = SetupDecision::Kind;
  const auto decide = [this](std::vector<std::string> tokens) {
    return dispatcher_.Decide(ArgvList(kProgram, tokens));
  };
  // The first handler that matches: xllTest is registered after xllInstall.
  const SetupDecision legacy = decide({"XLLTEST", "a.xll"});
  ASSERT_EQ(legacy.kind, Kind::kLegacy);
  EXPECT_EQ(legacy.handler, 2u);
  EXPECT_EQ(decide({"xllTest"}).kind, Kind::kUsage);
  EXPECT_EQ(decide({}).kind, Kind::kParseError);
  EXPECT_EQ(decide({"Help", "/x"}).kind, Kind::kHelp);
  EXPECT_EQ(decide({"RTD", "/A", "/a"}).kind, Kind::kParseError);
  const std::string missing = Folder() + Separator() + "missing";
  const SetupDecision action = decide({"rtd", "/XAR", missing});
  ASSERT_EQ(action.kind, Kind::kAction);
  EXPECT_EQ(action.action, SetupAction::kRtd);
  EXPECT_EQ(action.parsed.folder, missing);
  EXPECT_TRUE(action.parsed.no_auto_run);
  EXPECT_EQ(Run({"rtd", "/XAR", missing}), -1);  // Execute checks it
}

}  // namespace
}  // namespace orvex
