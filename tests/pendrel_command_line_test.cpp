// Pendrel's command line as an installer meets it: exit codes and standard output for
// missing, repeated, unknown and partial switches, help, words of neither grammar,
// folder checks, quoting, the configuration words, and the action's trace line.
#include "tests/pendrel_fixture.h"

namespace orvex::test {
namespace {

std::string Stem() {
  return WindowsBuild() ? "Pendrel" : "pendrel";
}
std::string Headed(const std::string& heading) {
  return heading + "\nSimplified Usage:\n\t" + Stem() + " TavXL [/A] [/XAR] [<folder>]\n";
}
constexpr const char* kUsageEnd = " tvpQuit => Attempts to close TavPublisher instance\n";

using PendrelCommandLineTest = PendrelTest;

TEST_F(PendrelCommandLineTest, NoArgumentsIsMinusOneWithTheErrorDirectlyBeforeTheUsage) {
  const PendrelRun run = Run("");
  EXPECT_EQ(run.exit_code, ExitCodeOf(-1));
  EXPECT_TRUE(run.output.starts_with(Headed("Error parsing arguments: Too few arguments")))
      << run.output;
  EXPECT_NE(run.output.find("\nLegacy Usage:\n\t" + Stem() +
                            " xllInstall <addInPath> => Installs Excel add-in\n\t"),
            std::string::npos);
  EXPECT_TRUE(run.output.ends_with(kUsageEnd));
  EXPECT_EQ(run.trace, "");
}

TEST_F(PendrelCommandLineTest, SwitchErrorsAreMinusOneAndNameTheFirstOffender) {
  const std::string missing = Folder() + "/nowhere";
  const struct {
    std::string tail;
    std::string error;
  } cases[] = {
      {"RTD /a /A", "Repeated switch /A"},
      {"RTD /a /b /A", "Unknown switch: /b"},
      {"TavXL /xar /XAR", "Repeated switch /XAR"},
      {"TavXL /xa", "Unknown switch: /xa"},
      {"RTD /", "Unknown switch: /"},
      {"RTD /S /s", "Repeated switch /S"},
      {"RTD \"" + Folder() + "\" \"" + missing + "\"", "Unexpected argument: " + missing},
  };
  for (const auto& c : cases) {
    const PendrelRun run = Run(c.tail);
    EXPECT_EQ(run.exit_code, ExitCodeOf(-1)) << c.tail;
    EXPECT_TRUE(run.output.starts_with(Headed("Error parsing arguments: " + c.error)))
        << c.tail << "\n"
        << run.output.substr(0, 120);
    EXPECT_EQ(run.trace, "") << c.tail;
  }
}

TEST_F(PendrelCommandLineTest, HelpInAnyCaseShowsTheUsageAndZeroEvenWithABadSwitch) {
  const std::string usage = Run("Frobnicate").output;
  ASSERT_TRUE(usage.starts_with(Headed(""))) << usage.substr(0, 120);
  for (const char* tail : {"help /bogus", "HELP", "/?", "? /A /A"}) {
    const PendrelRun run = Run(tail);
    EXPECT_EQ(run.exit_code, 0) << tail;
    EXPECT_EQ(run.output, "Usage: " + usage) << tail;
  }
}

TEST_F(PendrelCommandLineTest, WordsOfNeitherGrammarAndMiscountedLegacyWordsGiveTheUsageAndZero) {
  const PendrelRun unknown = Run("Frobnicate /A");
  EXPECT_EQ(unknown.exit_code, 0);
  EXPECT_TRUE(unknown.output.starts_with(Headed(""))) << unknown.output.substr(0, 120);
  EXPECT_TRUE(unknown.output.ends_with(kUsageEnd));
  // The legacy grammar counts elements exactly: one too few, one too many.
  for (const char* tail : {"xllInstall", "bsInstall C:\\svc.exe extra", "xlTest now"}) {
    const PendrelRun run = Run(tail);
    EXPECT_EQ(run.exit_code, 0) << tail;
    EXPECT_EQ(run.output, unknown.output) << tail;
  }
}

TEST_F(PendrelCommandLineTest, AFolderMustExistAndBeADirectory) {
  const std::string missing = Folder() + "/missing";
  PendrelRun run = Run("RegXLL \"" + missing + "\"");
  EXPECT_EQ(run.exit_code, ExitCodeOf(-1));
  EXPECT_EQ(run.output, "Specified folder not found:\n\t" + missing + "\n");
  const std::string file = MakeFile("setup.ini");
  run = Run("TLAdd \"" + file + "\"");
  EXPECT_EQ(run.exit_code, ExitCodeOf(-1));
  EXPECT_EQ(run.output, "Specified folder not found:\n\t" + file + "\n");
  EXPECT_EQ(run.trace, "");
}

TEST_F(PendrelCommandLineTest, QuotedTokensKeepBlanksAndAreNeverJoined) {
  const std::string spaced = Folder() + "/my folder";
  // A quoted folder with blanks is one element.
  PendrelRun run = Run("RegXLL \"" + spaced + "\"");
  EXPECT_EQ(run.output, "Specified folder not found:\n\t" + spaced + "\n");
  // An empty pair of quotes is an element that takes the folder place.
  run = Run("RegXLL \"\" \"" + spaced + "\"");
  EXPECT_EQ(run.exit_code, ExitCodeOf(-1));
  EXPECT_TRUE(
      run.output.starts_with(Headed("Error parsing arguments: Unexpected argument: " + spaced)));
  // An unclosed quote is an ordinary character: the blank still separates.
  run = Run("RegXLL \"" + spaced);
  EXPECT_TRUE(
      run.output.starts_with(Headed("Error parsing arguments: Unexpected argument: "
                                    "folder")))
      << run.output.substr(0, 120);
  // Text right after a closing quote starts the next element.
  run = Run("RegXLL \"" + spaced + "\"tail");
  EXPECT_TRUE(run.output.starts_with(Headed("Error parsing arguments: Unexpected argument: tail")))
      << run.output.substr(0, 120);
}

TEST_F(PendrelCommandLineTest, AProgramPathWithBlanksAndQuotesLeavesTheParametersWhole) {
  if (WindowsBuild()) GTEST_SKIP() << "a Windows path holds no double quote";
  const std::string usage = Run("Help").output;
  ASSERT_TRUE(usage.starts_with("Usage: ")) << usage.substr(0, 120);
  for (const char* folder : {"q x", "q \"x\"", "\"q\"", "q\"x"}) {
    const std::filesystem::path copy = dir_ / folder / "pendrel";
    std::filesystem::create_directories(copy.parent_path());
    std::filesystem::copy_file(PendrelPath(), copy);
    PendrelRun run = Run("Help", copy.string());
    EXPECT_EQ(run.exit_code, 0) << folder;
    EXPECT_EQ(run.output, usage) << folder;
    run = Run("RTD /a /A", copy.string());
    EXPECT_EQ(run.exit_code, ExitCodeOf(-1)) << folder;
    EXPECT_TRUE(run.output.starts_with(Headed("Error parsing arguments: Repeated switch /A")))
        << folder << "\n"
        << run.output.substr(0, 120);
  }
}

TEST_F(PendrelCommandLineTest, ConfigurationWordsCheckTheirArgumentsWithRegardToCase) {
  PendrelRun run = Run("configfile CU 4.0.4.247 MSI_ALL");
  EXPECT_EQ(run.exit_code, ExitCodeOf(-1));
  EXPECT_TRUE(
      run.output.starts_with(Headed("Error parsing arguments: Unexpected argument: "
                                    "4.0.4.247")));
  run = Run("ConfigFile cu 4.0.4.247 MSI_ALL");
  EXPECT_EQ(run.exit_code, ExitCodeOf(-1));
  EXPECT_EQ(run.output, "Error args: cu. Expected: CU, AU.\n");
  run = Run("ConfigFile AU 4.0.4.247 msi_all");
  EXPECT_EQ(run.exit_code, ExitCodeOf(-1));
  EXPECT_EQ(run.output,
            "Error args: msi_all. Expected: MSI_ALL, MSI_NA, EXE_ALL, EXE_NA, EXE_MIX.\n");
  if (!WindowsBuild()) {
    EXPECT_EQ(run.trace, "DBG: RtdSetupDispatcher::ExecuteConfigFile AU 4.0.4.247 msi_all \n");
  }
  run = Run("UnConfigFile");
  EXPECT_EQ(run.exit_code, ExitCodeOf(-1));
  EXPECT_EQ(run.output, "Error args: . Expected: CU, AU.\n");
  EXPECT_EQ(run.trace, "");
}

}  // namespace
}  // namespace orvex::test
