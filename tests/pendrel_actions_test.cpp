// Pendrel's setup actions as real processes against a registry of the test's own: the
// RTD registration for all users with and without administrator rights (the elevated
// restart, accepted, declined, and a copy that is still not elevated), TavXL for the
// current user twice, trusted locations, Drop, the configuration file, TEST,
// SelfDelete, and one product's clean-ups beside the other product.
#include "registration/auto_run.h"
#include "registration/logon_entries.h"
#include "registration/oxlade_product.h"
#include "registration/tavxl_product.h"
#include "system/install_config.h"
#include "tests/pendrel_action_fixture.h"

namespace orvex::test {
namespace {

TEST_F(PendrelActionTest, RtdForAllUsersInAnElevatedProcessRegistersAtOnce) {
  const PendrelRun run = RunAs("1", "RTD /A " + Quoted(product_));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output, "RTD Registration SUCCESS\n");
  if (!WindowsBuild()) {
    EXPECT_EQ(FirstTraceLine(run), "DBG: RtdSetupDispatcher::Execute RTD  All  Users\n");
  }
  EXPECT_TRUE(flows::IsRegisteredForAllUsers());
  EXPECT_EQ(Starts("Corvane.exe"), "[/regXLL]\n");
}

TEST_F(PendrelActionTest, RtdForAllUsersWithoutRightsPrintsTheRestartLinesOnly) {
  // Declined: nothing registered, no report.
  PendrelRun run = RunAs("0", "RTD /A " + Quoted(product_));
  EXPECT_EQ(run.exit_code, ExitCodeOf(-1));
  EXPECT_EQ(run.output, std::string(kRestartLine) + kFailedLine);
  EXPECT_FALSE(flows::IsAnythingRegistered());
  // For the current user no rights are needed, whatever the process has.
  run = RunAs("0", "RTD " + Quoted(product_));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output, "RTD Registration SUCCESS\n");
  if (!WindowsBuild()) {
    EXPECT_EQ(FirstTraceLine(run), "DBG: RtdSetupDispatcher::Execute RTD  Current user\n");
  }
  EXPECT_FALSE(flows::IsRegisteredForAllUsers());
}

TEST_F(PendrelActionTest, AnAcceptedRestartLetsTheElevatedCopyDoTheWholeAction) {
  const PendrelRun run = RunAs("0>1", "RTD /A " + Quoted(product_));
  // The copy's result is the run's.
  EXPECT_EQ(run.exit_code, 1);
  const std::string expected =
      std::string(kRestartLine) + kSucceededLine + "RTD Registration SUCCESS\n";
  EXPECT_EQ(OutputOnceEndsWith("SUCCESS\n"), expected);
  EXPECT_TRUE(WaitFor([] { return flows::IsRegisteredForAllUsers(); }));
}

TEST_F(PendrelActionTest, ACopyThatIsStillNotElevatedFailsInsteadOfRestartingAgain) {
  const PendrelRun run = RunAs("0>0", "RTD /A " + Quoted(product_));
  EXPECT_EQ(run.exit_code, ExitCodeOf(-1));
  const std::string expected = std::string(kRestartLine) + kSucceededLine + kFailedLine;
  EXPECT_EQ(OutputOnceEndsWith(kFailedLine), expected);
  // No third process follows: the output stays as it is.
  platform::SleepMs(1500);
  EXPECT_EQ(ReadFileText(last_output_), expected);
  EXPECT_FALSE(flows::IsAnythingRegistered());
}

TEST_F(PendrelActionTest, TavXLForTheCurrentUserTwiceCleansThenRegistersAgain) {
  PendrelRun run = RunAs("0", "TavXL " + Quoted(product_));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output, "TavXL Registration SUCCESS\n");
  if (!WindowsBuild()) {
    EXPECT_EQ(FirstTraceLine(run), "DBG: RtdSetupDispatcher::Execute TavXL Current user\n");
  }
  EXPECT_TRUE(flows::IsRegistered(true));
  run = RunAs("0", "tavxl " + Quoted(product_));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output, "TavXL Clean CU SUCCESSTavXL Registration SUCCESS\n");
  EXPECT_TRUE(flows::IsRegistered(true));
  EXPECT_FALSE(flows::IsRegisteredForAllUsers());
  EXPECT_EQ(Starts("TavWatchdogW.exe", 2), "[]\n[]\n");
}

TEST_F(PendrelActionTest, TavXLForAllUsersNeedsRightsAndCleansWhatWasThereFirst) {
  PendrelRun run = RunAs("1", "TavXL /A " + Quoted(product_));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output, "TavXL Registration SUCCESS\n");
  if (!WindowsBuild()) {
    EXPECT_EQ(FirstTraceLine(run), "DBG: RtdSetupDispatcher::Execute TavXL All  Users\n");
  }
  EXPECT_TRUE(flows::IsRegisteredForAllUsers());
  // Without rights the clean of the all-users installation restarts before any change.
  run = RunAs("0", "TavXL /a " + Quoted(product_));
  EXPECT_EQ(run.exit_code, ExitCodeOf(-1));
  EXPECT_EQ(run.output, std::string(kRestartLine) + kFailedLine);
  EXPECT_TRUE(flows::IsRegisteredForAllUsers());
  run = RunAs("1", "TavXL /XAR /A " + Quoted(product_));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output, "Clean SUCCESSTavXL Registration SUCCESS\n");
  EXPECT_TRUE(flows::IsAnythingRegistered());
}

TEST_F(PendrelActionTest, DropOfAnAllUsersInstallationNeedsRightsThenRemovesEverything) {
  ASSERT_EQ(RunAs("1", "RTD /A " + Quoted(product_)).exit_code, 1);
  PendrelRun run = RunAs("0", "DROP");
  EXPECT_EQ(run.exit_code, ExitCodeOf(-1));
  EXPECT_EQ(run.output, std::string(kRestartLine) + kFailedLine);
  EXPECT_TRUE(flows::IsRegisteredForAllUsers());
  run = RunAs("1", "Drop " + Quoted(product_));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output, "Stop SUCCESS\nDrop SUCCESS\n");
  if (!WindowsBuild()) {
    EXPECT_EQ(FirstTraceLine(run), "DBG: RtdSetupDispatcher::Execute Drop  \n");
  }
  EXPECT_FALSE(flows::IsRegisteredForAllUsers());
}

TEST_F(PendrelActionTest, TestWritesTheExcelAndRegistryDiagnosticsAsTwoTraceLines) {
  ASSERT_EQ(RunAs("0", "TavXL " + Quoted(product_)).exit_code, 1);
  const PendrelRun run = Run("test");
  EXPECT_EQ(run.exit_code, 0);
  // Excel's App Paths look-up prints its own lines before the report.
  EXPECT_TRUE(run.output.ends_with("SfRegUtil::UnitTest executed\n")) << run.output;
  if (WindowsBuild()) return;  // Wine keeps a child's debugger output to itself
  EXPECT_TRUE(
      run.trace.starts_with("DBG: RtdSetupDispatcher::Execute Test  \n"
                            "DBG: \nExcel Installed: true\nExcel Path     : "))
      << run.trace;
  EXPECT_NE(run.trace.find("\nExcel Version  : 16\nExcel RTD      : true\nExcel Ribbon   : true"
                           "\nExcel Bit Count: 64\nExcel 64 Bit   : true\n"),
            std::string::npos)
      << run.trace;
  const size_t begin = run.trace.find("DBG: \nTavXL Registry Entries BEGIN\nHKCU");
  ASSERT_NE(begin, std::string::npos) << run.trace;
  EXPECT_TRUE(run.trace.ends_with("\nTavXL Registry Entries END\n"));
}

TEST_F(PendrelActionTest, TrustedLocationsWithAndWithoutTheTrailingSeparator) {
  const std::string plain = Folder();
  const std::string trailing = Folder(true);
  PendrelRun run = Run("TLAdd " + Quoted(trailing));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output, "Success\n");
  if (!WindowsBuild()) {
    EXPECT_EQ(run.trace, "DBG: RtdSetupDispatcher::Execute TLAdd " + trailing + "\n");
  }
  // The check compares the text exactly.
  run = Run("TLCheck " + Quoted(plain));
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, "NO\n");
  run = Run("TLCheck " + Quoted(trailing));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output, "YES\n");
  // The removal takes the folder's location whichever way it is written.
  run = Run("TLRemove " + Quoted(plain));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output, "Success\n");
  EXPECT_EQ(Run("TLCheck " + Quoted(trailing)).output, "NO\n");
  EXPECT_EQ(Run("TLRemove " + Quoted(plain)).output, "Failed\n");
  // Without a folder: the program's own directory, with its separator.
  EXPECT_EQ(Run("TLAdd").exit_code, 1);
  EXPECT_EQ(Run("TLCheck").output, "YES\n");
  EXPECT_EQ(Run("TLRemove").output, "Success\n");
}

TEST_F(PendrelActionTest, ConfigFileWritesTheFileAndUnConfigFileDeletesIt) {
  const std::string path = system::InstallConfigPath("CU");
  ASSERT_FALSE(path.empty());
  PendrelRun run = Run("ConfigFile CU 4.0.4.247 MSI_ALL");
  EXPECT_EQ(run.exit_code, 1) << run.output;
  EXPECT_EQ(ReadFileText(path), "Version=4.0.4.247\nInstallType=MSI_ALL\n");
  if (!WindowsBuild()) {
    EXPECT_EQ(run.trace, "DBG: RtdSetupDispatcher::ExecuteConfigFile CU 4.0.4.247 MSI_ALL \n");
  }
  run = Run("UnConfigFile CU");
  EXPECT_EQ(run.exit_code, 1) << run.output;
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(PendrelActionTest, SelfDeleteRemovesACopiedProgramAfterItEnded) {
  const std::string copy = (dir_ / (WindowsBuild() ? "PendrelCopy.exe" : "pendrel-copy")).string();
  fs::copy_file(PendrelPath(), copy);
  const PendrelRun run = Run("SelfDelete", copy);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(WaitFor([&] { return !fs::exists(copy); }, 20000)) << copy;
  // Pendrel reports nothing; the deletion script, which inherited the standard output
  // and runs without a console, may have announced itself there.
  const std::string output = ReadFileText(last_output_);
  EXPECT_TRUE(output.empty() || output.starts_with("Self-Deleting")) << output;
}

TEST_F(PendrelActionTest, SelfDeleteThatCannotStartAnswersMinusOneAndKeepsTheProgram) {
  const std::string copy = (dir_ / (WindowsBuild() ? "PendrelCopy.exe" : "pendrel-copy")).string();
  fs::copy_file(PendrelPath(), copy);
  // No temporary folder to write the script to.
  const std::string missing = (dir_ / "no-temp").string();
  const char* const names[] = {"TMPDIR", "TMP", "TEMP"};
  std::vector<std::pair<bool, std::string>> saved;
  for (const char* name : names) {
    const char* value = std::getenv(name);
    saved.emplace_back(value != nullptr, value != nullptr ? value : "");
    platform::SetEnvVar(name, missing.c_str());
  }
  const PendrelRun run = Run("SelfDelete", copy);
  for (size_t i = 0; i < saved.size(); ++i) {
    platform::SetEnvVar(names[i], saved[i].first ? saved[i].second.c_str() : nullptr);
  }
  EXPECT_EQ(run.exit_code, ExitCodeOf(-1));
  platform::SleepMs(500);
  EXPECT_TRUE(fs::exists(copy));
}

TEST_F(PendrelActionTest, ConfigFileRefusesAVersionThatWouldAddOrOverrideASetting) {
  const std::string path = system::InstallConfigPath("AU");
  ASSERT_FALSE(path.empty());
  for (const std::string version :
       {"\"4.0\nInstallType=EXE_ALL\"", "\"4.0\rx\"", "4.0=EXE_ALL", "InstallType=EXE_ALL"}) {
    SCOPED_TRACE(version);
    const PendrelRun run = Run("ConfigFile AU " + version + " MSI_NA");
    EXPECT_EQ(run.exit_code, ExitCodeOf(-1));
    EXPECT_EQ(run.output,
              "Error args: version. Expected: no line break and no '=' in the version.\n");
    EXPECT_FALSE(fs::exists(path));
  }
  // An ordinary version still passes.
  const PendrelRun run = Run("ConfigFile AU 4.0.4.247 MSI_NA");
  EXPECT_EQ(run.exit_code, 1) << run.output;
  EXPECT_EQ(ReadFileText(path), "Version=4.0.4.247\nInstallType=MSI_NA\n");
  EXPECT_EQ(Run("UnConfigFile AU").exit_code, 1);
}

TEST_F(PendrelActionTest, ADeclinedRestartLeavesThePerUserInstallationAsItWas) {
  ASSERT_EQ(RunAs("0", "TavXL " + Quoted(product_)).exit_code, 1);
  const PendrelRun run = RunAs("0", "TavXL /A " + Quoted(product_));
  EXPECT_EQ(run.exit_code, ExitCodeOf(-1));
  EXPECT_EQ(run.output, std::string(kRestartLine) + kFailedLine);
  // Nothing was cleaned before the prompt: the per-user installation is whole.
  EXPECT_TRUE(flows::IsRegistered(true));
  EXPECT_TRUE(SfRegKeyPath(RegRoot::kCurrentUser, kRunKeyPath).ValueExists("TavRunCU"));
  EXPECT_FALSE(flows::IsRegisteredForAllUsers());
  // Accepted, the copy's failure is the run's exit code.
  const PendrelRun copy_fails = RunAs("0>0", "TavXL /A " + Quoted(product_));
  EXPECT_EQ(copy_fails.exit_code, ExitCodeOf(-1));
  EXPECT_TRUE(flows::IsRegistered(true));
}

TEST_F(PendrelActionTest, DropAndCleanTakeThePerUserLogonEntriesWithTheProducts) {
  const SfRegKeyPath run_key(RegRoot::kCurrentUser, kRunKeyPath);
  ASSERT_EQ(RunAs("0", "RTD " + Quoted(product_)).exit_code, 1);
  ASSERT_TRUE(run_key.ValueExists("RTDRunCU"));
  PendrelRun run = RunAs("0", "Drop " + Quoted(product_));
  EXPECT_EQ(run.exit_code, 1) << run.output;
  EXPECT_FALSE(run_key.ValueExists("RTDRunCU"));
  EXPECT_FALSE(flows::IsAnythingRegistered());
  ASSERT_EQ(RunAs("0", "TavXL " + Quoted(product_)).exit_code, 1);
  ASSERT_TRUE(run_key.ValueExists("TavRunCU"));
  run = RunAs("0", "Clean " + Quoted(product_));
  EXPECT_EQ(run.exit_code, 1) << run.output;
  EXPECT_EQ(run.output, "Clean SUCCESS\n");
  EXPECT_FALSE(run_key.ValueExists("TavRunCU"));
  EXPECT_FALSE(flows::IsAnythingRegistered());
}

TEST_F(PendrelActionTest, ReRegisteringFromAFolderWithoutTheProgramKeepsTheLogonEntry) {
  const SfRegKeyPath run_key(RegRoot::kCurrentUser, kRunKeyPath);
  ASSERT_EQ(RunAs("0", "RTD " + Quoted(product_)).exit_code, 1);
  std::string before;
  ASSERT_TRUE(run_key.ReadString("RTDRunCU", &before));
  // The same components elsewhere, but no setup program to name in the entry.
  const fs::path copy = dir_ / "Installed";
  fs::copy(product_, copy, fs::copy_options::recursive);
  fs::remove(copy / "TavRegW.exe");
  const PendrelRun run = RunAs("0", "RTD " + Quoted(copy.string()));
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, "RTD Registration FAILED\n");
  std::string after;
  EXPECT_TRUE(run_key.ReadString("RTDRunCU", &after));
  EXPECT_EQ(after, before);
}

TEST_F(PendrelActionTest, TavXLsFirstLogonRunKeepsTheRtdProductsInformationKey) {
  ASSERT_EQ(RunAs("1", "RTD /A " + Quoted(product_)).exit_code, 1);
  // RTD's per-user half wrote XLInfo for this user, naming its product.
  const SfRegKeyPath info(RegRoot::kCurrentUser, "Software\\Orvex Data Services\\XLInfo",
                          WindowsBuild());
  const SfRegKeyPath info_default(RegRoot::kCurrentUser, "Software\\Orvex Data Services\\XLInfo");
  const auto named = [&] {
    std::string name;
    return info.ReadString("Name", &name) || info_default.ReadString("Name", &name) ? name : "";
  };
  ASSERT_EQ(named(), "Oxlade");
  // TavXL's first log-on run for this user clears TavXL's per-user parts only.
  const PendrelRun run = RunAs("0", "RunAU " + Quoted(product_));
  EXPECT_EQ(run.output, "TavXL Run AU SUCCESS\n");
  EXPECT_EQ(named(), "Oxlade");
}

// What each product left for this user, as the registry and the cleanup copy show it.
struct Installed {
  bool rtd;     // XLInfo naming the RTD product, its ribbon or bus entry
  bool tavxl;   // the TavXL server, bundle or programs
  bool shared;  // the KelRTD server or XLL, which both register
  bool rtd_entry;
  bool tavxl_entry;
  bool copy;
  bool operator==(const Installed&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Installed& i) {
  return out << "rtd " << i.rtd << " tavxl " << i.tavxl << " shared " << i.shared << " RTDRunCU "
             << i.rtd_entry << " TavRunCU " << i.tavxl_entry << " copy " << i.copy;
}

Installed Now() {
  const SfRegKeyPath run_key(RegRoot::kCurrentUser, kRunKeyPath);
  SfxRegNode_KelRTDServer server;
  SfxRegNode_KelRTDAddIn xll;
  return {OxladeProduct("", false).OwnPartsRegistered(),
          TavXLProduct("", false).OwnPartsRegistered(),
          server.IsRegisteredAnywhere() || xll.IsRegistered(),
          run_key.ValueExists("RTDRunCU"),
          run_key.ValueExists("TavRunCU"),
          fs::exists(CleanupCopyPath())};
}

TEST_F(PendrelActionTest, OneProductsCleanUpLeavesTheOtherProductWhole) {
  const std::string folder = Quoted(product_);
  const SfRegKeyPath machine_run(RegRoot::kLocalMachine, kRunKeyPath);
  const struct {
    const char* elevation;
    std::string tail;  // empty: the all-users "RTDRunAU" goes, as an uninstaller takes it
    std::string output;
    Installed after;
  } steps[] = {
      {"0", "RTD " + folder, "RTD Registration SUCCESS\n", {true, false, true, true, false, false}},
      {"0",
       "TavXL " + folder,
       "TavXL Clean CU SUCCESSTavXL Registration SUCCESS\n",
       {true, true, true, true, true, false}},
      // The second run cleans TavXL's per-user installation only.
      {"0",
       "TavXL " + folder,
       "TavXL Clean CU SUCCESSTavXL Registration SUCCESS\n",
       {true, true, true, true, true, false}},
      {"0", "CleanCU", "TavXL Clean CU SUCCESS\n", {true, false, true, true, false, false}},
      // With TavXL gone, the shared parts go with the RTD product.
      {"0", "RTDCleanCU", "RTD Clean CU SUCCESS\n", {false, false, false, false, false, false}},
      // Both products for all users: each has its per-user half and the one cleanup copy.
      {"1",
       "TavXL /A " + folder,
       "TavXL Registration SUCCESS\n",
       {false, true, true, false, false, true}},
      {"1",
       "RTD /A " + folder,
       "RTD Registration SUCCESS\n",
       {true, true, true, false, false, true}},
      // The RTD clean-up keeps TavXL's parts, the shared ones and the copy that TavXL's
      // cleanup entry still needs.
      {"0", "RTDClean", "RTD Clean AU SUCCESS\n", {false, true, true, false, false, true}},
      // The user's own TavXL installation beside the all-users RTD product; then the
      // RTD product is uninstalled and its log-on clean-up runs: the user's own
      // installation wins, nothing is removed.
      {"1",
       "RTD /A " + folder,
       "RTD Registration SUCCESS\n",
       {true, true, true, false, false, true}},
      {"0",
       "TavXL " + folder,
       "TavXL Clean CU SUCCESSTavXL Registration SUCCESS\n",
       {true, true, true, false, true, true}},
      {"0", "", "", {true, true, true, false, true, true}},
      {"0", "RTDCleanAU", "RTD Clean AU SUCCESS\n", {true, true, true, false, true, true}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.tail);
    if (step.tail.empty()) {
      ASSERT_TRUE(machine_run.DeleteValue("RTDRunAU"));
    } else {
      const PendrelRun run = RunAs(step.elevation, step.tail);
      EXPECT_EQ(run.exit_code, 1);
      EXPECT_EQ(run.output, step.output);
    }
    EXPECT_EQ(Now(), step.after);
  }
}

}  // namespace
}  // namespace orvex::test
