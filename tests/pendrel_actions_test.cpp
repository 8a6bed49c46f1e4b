// Pendrel's setup actions as real processes against a registry of the test's own: the
// RTD registration for all users with and without administrator rights (the elevated
// restart, accepted, declined, and a copy that is still not elevated), TavXL for the
// current user twice, trusted locations, Drop, the configuration file, TEST and
// SelfDelete.
#include <filesystem>
#include <map>

#include "excel/testing/excel_test_registry.h"
#include "registration/sf_reg_util_v2.h"
#include "registration/testing/component_layout_test_util.h"
#include "system/file_operations.h"
#include "system/install_config.h"
#include "tests/pendrel_fixture.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;
namespace flows = SfRegUtil_V2;

// The programs the flows start are copies of a stand-in that records its starts.
const std::map<std::string, std::string> kPrograms = [] {
  auto programs = registration_test::kStartedPrograms;
  programs.emplace("TavRegW.exe", "");
  return programs;
}();

constexpr const char* kRestartLine = "\nRestarting process elevated";
constexpr const char* kSucceededLine = "\nElevated restart succeeded";
constexpr const char* kFailedLine = "\nElevated restart failed";

class PendrelActionTest : public PendrelTest {
 protected:
  void SetUp() override {
    PendrelTest::SetUp();
    if (!OwnRegistry()) GTEST_SKIP() << NoRegistryReason();
    product_ = (dir_ / "Product").string();
    // POSIX: the cleanup copy and the configuration file stay in the test's folder.
    platform::SetEnvVar("XDG_DATA_HOME", (dir_ / "AppData").string().c_str());
    platform::SetEnvVar("ORVEX_PROGRAMDATA_DIR", (dir_ / "ProgramData").string().c_str());
    fs::create_directories(dir_ / "ProgramData");
    RegisterExcel64();
    for (const auto& [name, sub] : registration_test::kComponentFolders)
      MakeFile("Product/" + sub + "/" + name, "");
    for (const auto& [name, sub] : kPrograms) {
      const fs::path path = fs::path(product_) / sub / name;
      fs::create_directories(path.parent_path());
      fs::copy_file(STARTED_STANDIN, path, fs::copy_options::overwrite_existing);
    }
  }
  void TearDown() override {
    if (WindowsBuild() && !product_.empty()) {
      // The prefix's registry is shared by the whole run: take the products out again.
      platform::SetEnvVar("ORVEX_TEST_ELEVATION", nullptr);
      flows::UnregisterAll(true);
      flows::UnregisterAll(false);
      std::error_code ignored;
      fs::remove_all(system::GetLocalAppDataFolder("TavXLUserCleanup"), ignored);
    }
    platform::SetEnvVar("XDG_DATA_HOME", nullptr);
    platform::SetEnvVar("ORVEX_PROGRAMDATA_DIR", nullptr);
    PendrelTest::TearDown();
  }

  void RegisterExcel64() {
    const std::string exe = MakeFile("Excel/EXCEL.EXE", "");
    const auto image = excel_test::PeImage(0x8664);
    std::ofstream(exe, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<long>(image.size()));
    const char* clsid = "{00024500-0000-0000-C000-000000000046}";
    ClassDefault("Excel.Application\\CLSID", clsid);
    ClassDefault(std::string("CLSID\\") + clsid + "\\LocalServer32", "\"" + exe + "\" /automation");
    ClassDefault("Excel.Application\\CurVer", "Excel.Application.16");
    Written(RegRoot::kCurrentUser, "Software\\Microsoft\\Office\\16.0");
  }
  void ClassDefault(const std::string& path, const std::string& text) {
    const SfRegKeyPath key = Written(RegRoot::kClassesRoot, path);
    ASSERT_TRUE(key.Create());
    ASSERT_TRUE(key.WriteString("", text));
  }
  // The started lines a stand-in program recorded, waiting for at least `count`.
  std::string Starts(const std::string& name, size_t count = 1) const {
    const std::string found = system::FindFileInTree(name, product_);
    std::string text;
    WaitFor(
        [&] {
          text = ReadFileText(found + ".started");
          return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) >= count;
        },
        10000);
    return text;
  }
  // Runs with the test seam's elevation value (null: none).
  PendrelRun RunAs(const char* elevation, const std::string& tail) {
    platform::SetEnvVar("ORVEX_TEST_ELEVATION", elevation);
    PendrelRun run = Run(tail);
    platform::SetEnvVar("ORVEX_TEST_ELEVATION", nullptr);
    return run;
  }
  // Waits until the output file of a restarted run ends with `tail`; the copy writes
  // into the same standard output after the first process has ended.
  std::string OutputOnceEndsWith(const std::string& tail) {
    std::string text;
    WaitFor(
        [&] {
          text = ReadFileText(last_output_);
          return text.ends_with(tail);
        },
        20000);
    return text;
  }
  std::string FirstTraceLine(const PendrelRun& run) const {
    return run.trace.substr(0, run.trace.find('\n') + 1);
  }
  std::string Quoted(const std::string& path) const { return "\"" + path + "\""; }

  std::string product_;
};

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
  EXPECT_EQ(run.exit_code, 0);
  const std::string expected =
      std::string(kRestartLine) + kSucceededLine + "RTD Registration SUCCESS\n";
  EXPECT_EQ(OutputOnceEndsWith("SUCCESS\n"), expected);
  EXPECT_TRUE(WaitFor([] { return flows::IsRegisteredForAllUsers(); }));
}

TEST_F(PendrelActionTest, ACopyThatIsStillNotElevatedFailsInsteadOfRestartingAgain) {
  const PendrelRun run = RunAs("0>0", "RTD /A " + Quoted(product_));
  EXPECT_EQ(run.exit_code, 0);
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
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(WaitFor([&] { return !fs::exists(copy); }, 20000)) << copy;
  // Pendrel reports nothing; the deletion script, which inherited the standard output
  // and runs without a console, may have announced itself there.
  const std::string output = ReadFileText(last_output_);
  EXPECT_TRUE(output.empty() || output.starts_with("Self-Deleting")) << output;
}

}  // namespace
}  // namespace orvex::test
