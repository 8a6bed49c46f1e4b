#include "registration/logon_entries.h"
#include "registration/oxlade_product.h"
#include "registration/sf_reg_util_v2.h"
#include "registration/tavxl_product.h"
#include "registration/testing/registration_flow_fixture.h"

namespace orvex::registration_test {
namespace {

namespace flows = SfRegUtil_V2;

constexpr const char* kKelClsid = "{6C2B9D40-8E15-47a3-9D2C-5B7E1F30A46D}";
constexpr const char* kKelLib = "{6C2B9D41-8E15-47a3-9D2C-5B7E1F30A46D}";
constexpr const char* kTavClsid = "{6C2B9D42-8E15-47a3-9D2C-5B7E1F30A46D}";
constexpr const char* kTavLib = "{6C2B9D43-8E15-47a3-9D2C-5B7E1F30A46D}";
constexpr const char* kOptions = "HKCU:Software\\Microsoft\\Office\\16.0\\Excel\\Options\\";
constexpr const char* kUserRun = "HKCU:Software\\Microsoft\\Windows\\CurrentVersion\\Run\\";

std::string Load(const std::string& path) {
  return "/R \"" + path + "\"";
}

Lines KelServer(const std::string& root, const std::string& path) {
  return RtdServerLines(root, "KelRTD", "Orvex Data Services KelRTD Server", kKelClsid, kKelLib,
                        path);
}

Lines TavServer(const std::string& root, const std::string& path) {
  return RtdServerLines(root, "TavXL", "Orvex Data Services TavXL RTD Server", kTavClsid, kTavLib,
                        path);
}

bool Contains(const Lines& all, const Lines& part) {
  const Lines sorted_all = Sorted(all);
  const Lines sorted_part = Sorted(part);
  return std::includes(sorted_all.begin(), sorted_all.end(), sorted_part.begin(),
                       sorted_part.end());
}

std::string MachineRunValue(const char* name) {
  std::string text;
  SfRegKeyPath(RegRoot::kLocalMachine, kRunKeyPath).ReadString(name, &text);
  return text;
}

std::string TimeStamp(RegRoot root, const char* product) {
  std::string text;
  SfRegKeyPath(root, InstallerKeyPath(product), true).ReadString("TimeStamp", &text);
  return text;
}

TEST_F(RegistrationFlowTest, PerUserTavXLWritesExactlyTheKeysOfTheTables) {
  const std::string kel = Found("KelRTDServer_x64.dll");
  ASSERT_NE(kel.find("x64"), std::string::npos) << "the 64-bit build for 64-bit Excel";
  ASSERT_TRUE(flows::TavXL_Register(true, product_, true, false));
  const std::string xll = Found("TavXLAddIn_x64.xll");
  EXPECT_EQ(Written(),
            Joined({KelServer("HKCU:", kel),
                    TavServer("HKCU:", Found("TavRTDServer_x64.dll")),
                    BundleLines("HKCU:", kTavXLBundle, xll),
                    {
                        kOptions + std::string("[OPEN1]=") + Load(xll),
                        kOptions + std::string("[OPEN]=") + Load(Found("KelRTDAddIn_x64.xll")),
                        kUserRun + std::string("[TavRunCU]=\"") + Found("TavRegW.exe") + "\" RunCU",
                        "HKCU:Software\\Orvex Data Services\\Installer\\TavXL\\[TimeStamp]=",
                    }}));
  EXPECT_EQ(Starts("TavWatchdogW.exe", 1), Lines{"[]"}) << "the run flow starts the watchdog";
  EXPECT_TRUE(flows::IsRegistered(true));
  EXPECT_FALSE(flows::IsRegisteredForAllUsers());

  EXPECT_TRUE(flows::TavXL_CleanCU());
  EXPECT_EQ(Written(), Lines{});
  EXPECT_FALSE(flows::IsAnythingRegistered());
}

TEST_F(RegistrationFlowTest, PerUserRtdWritesTheKeysOfTheTablesAndStartsTheBus) {
  ASSERT_TRUE(flows::Rtd_Register(true, product_, true));
  const std::string info = "HKCU:Software\\Orvex Data Services\\XLInfo\\";
  EXPECT_EQ(
      Written(),
      Joined({KelServer("HKCU:", Found("KelRTDServer_x64.dll")),
              BundleLines("HKCU:", kKelRTDRibbon, Found("KelRTDRibbonAddIn_x64.dll")),
              {
                  kOptions + std::string("[OPEN]=") + Load(Found("KelRTDAddIn_x64.xll")),
                  kUserRun + std::string("[RTDRunCU]=\"") + Found("TavRegW.exe") + "\" RTDRunCU",
                  info + "[CU]=dword:1",
                  info + "[Name]=Oxlade",
                  info + "[Path]=" + product_,
                  info + "[X64]=dword:1",
                  "HKCU:Software\\Orvex Data Services\\Installer\\Oxlade\\[TimeStamp]=",
              }}));
  EXPECT_EQ(Starts("Corvane.exe", 1), Lines{"[/regXLL]"});
  EXPECT_TRUE(flows::Rtd_CleanCU());
  EXPECT_EQ(Written(), Lines{});
}

TEST_F(RegistrationFlowTest, AllUsersTavXLStaysWithTheUserWhileAllUsersRtdGoesToTheMachine) {
  ASSERT_TRUE(flows::TavXL_Register(true, product_, false, true));
  Lines written = Written();
  EXPECT_TRUE(Contains(written, TavServer("HKCU:", Found("TavRTDServer_x64.dll"))));
  EXPECT_TRUE(Contains(written, KelServer("HKCU:", Found("KelRTDServer_x64.dll"))));
  for (const std::string& line : written) {
    EXPECT_EQ(line.find("HKLM:Software\\Classes"), std::string::npos) << line;
  }
  EXPECT_EQ(MachineRunValue("TavRunAU"), "") << "no log-on entry asked for";
  EXPECT_NE(TimeStamp(RegRoot::kLocalMachine, "TavXL"), "");
  EXPECT_EQ(TimeStamp(RegRoot::kCurrentUser, "TavXL"), TimeStamp(RegRoot::kLocalMachine, "TavXL"))
      << "the installing user's own registration is complete";

  ASSERT_TRUE(flows::Rtd_Register(true, product_, false));
  written = Written();
  EXPECT_TRUE(Contains(written, KelServer("HKLM:", Found("KelRTDServer_x64.dll"))));
  EXPECT_TRUE(
      Contains(written, BundleLines("HKLM:", kKelRTDRibbon, Found("KelRTDRibbonAddIn_x64.dll"))))
      << "the user's first run keeps the machine's registration";
  EXPECT_EQ(MachineRunValue("RTDRunAU"), "\"" + Found("TavRegW.exe") + "\" RTDRunAU");
  EXPECT_TRUE(flows::IsRegisteredForAllUsers());
}

TEST_F(RegistrationFlowTest, AMissingComponentFailsBeforeAnythingIsWritten) {
  EXPECT_FALSE(TavXLProduct("", true).Register(true, true)) << "no folder";
  fs::remove(Found("TavPublisher.exe"));
  EXPECT_FALSE(TavXLProduct(product_, true).Register(true, true));
  EXPECT_FALSE(TavXLProduct(product_, true).Register(false, true));
  fs::remove(Found("KelRTDRibbonAddIn_x64.dll"));
  EXPECT_FALSE(OxladeProduct(product_, true).Register(false, true));
  EXPECT_FALSE(flows::TavXL_Register(true, product_, true, true));
  EXPECT_EQ(Written(), Lines{});
}

TEST_F(RegistrationFlowTest, AllUsersLifeOfOneUser) {
  // Only the setup program itself: the log-on entries use it, the copy is "TavRegW.exe".
  fs::remove(Found("TavRegW.exe"));
  const std::string setup = MakeProgram("", "Pendrel.exe");
  const std::string copy = CleanupCopyPath();
  ASSERT_NE(copy, "");

  // Installer: all-users time stamp, "TavRunAU", and the installing user's first run.
  ASSERT_TRUE(flows::TavXL_Register(true, product_, false, false));
  EXPECT_EQ(MachineRunValue("TavRunAU"), "\"" + setup + "\" RunAU");
  EXPECT_EQ(fs::path(copy).filename().string(), "TavRegW.exe");
  EXPECT_TRUE(fs::is_regular_file(copy));
  std::string cleanup;
  SfRegKeyPath(RegRoot::kCurrentUser, kRunKeyPath).ReadString("TavCleanAU", &cleanup);
  EXPECT_EQ(cleanup, "\"" + copy + "\" CleanAU");
  const std::string installed = TimeStamp(RegRoot::kLocalMachine, "TavXL");
  EXPECT_EQ(TimeStamp(RegRoot::kCurrentUser, "TavXL"), installed);
  EXPECT_EQ(Starts("TavWatchdogW.exe", 1).size(), 1u);

  // Next log-on: equal time stamps, only the watchdog starts (no new copy either).
  fs::remove(copy);
  const std::set<std::string> settled = DumpRegistry();
  ASSERT_TRUE(flows::TavXL_RunAU(product_));
  EXPECT_EQ(DumpRegistry(), settled);
  EXPECT_FALSE(fs::exists(copy));
  EXPECT_EQ(Starts("TavWatchdogW.exe", 2).size(), 2u);

  // A new all-users installation: the next log-on is a first run again.
  ASSERT_TRUE(SfRegKeyPath(RegRoot::kLocalMachine, InstallerKeyPath("TavXL"), true)
                  .WriteString("TimeStamp", "2099-01-01.00:00:00"));
  ASSERT_TRUE(flows::TavXL_RunAU(product_));
  EXPECT_EQ(TimeStamp(RegRoot::kCurrentUser, "TavXL"), "2099-01-01.00:00:00");
  EXPECT_TRUE(fs::is_regular_file(copy));
  EXPECT_EQ(Starts("TavWatchdogW.exe", 3).size(), 3u);

  // An administrator drops the product in their own account: this user's branch stays.
  const auto user = SaveUser();
  ASSERT_TRUE(flows::Drop());
  EXPECT_FALSE(flows::IsRegisteredForAllUsers());
  EXPECT_EQ(MachineRunValue("TavRunAU"), "");
  EXPECT_EQ(TimeStamp(RegRoot::kLocalMachine, "TavXL"), "");
  Restore(user);
  EXPECT_TRUE(flows::IsRegistered(true));

  // The user's next log-on runs the copy with "CleanAU".
  ASSERT_TRUE(flows::TavXL_CleanAU());
  EXPECT_EQ(Written(), Lines{});
  EXPECT_FALSE(fs::exists(copy));
  EXPECT_FALSE(flows::IsAnythingRegistered());
  EXPECT_TRUE(flows::DeleteCleanupCopy()) << "a copy that is gone is no failure";
}

TEST_F(RegistrationFlowTest, APerUserInstallationWinsOverTheAllUsersOne) {
  ASSERT_TRUE(flows::TavXL_Register(true, product_, false, false));
  ASSERT_TRUE(flows::TavXL_Register(true, product_, true, false));
  const size_t starts = Starts("TavWatchdogW.exe", 2).size();
  ASSERT_TRUE(SfRegKeyPath(RegRoot::kLocalMachine, InstallerKeyPath("TavXL"), true)
                  .WriteString("TimeStamp", "2099-01-01.00:00:00"));  // would be a first run
  const std::set<std::string> settled = DumpRegistry();
  EXPECT_TRUE(flows::TavXL_RunAU(product_));
  EXPECT_TRUE(flows::Rtd_RunAU(product_));
  EXPECT_TRUE(flows::TavXL_CleanAU());
  EXPECT_EQ(DumpRegistry(), settled) << "nothing changed";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(Starts("TavWatchdogW.exe", starts).size(), starts) << "no watchdog started";
  EXPECT_EQ(Starts("Corvane.exe", 0).size(), 0u) << "no bus started";
}

TEST_F(RegistrationFlowTest, KnownXllsAreEnabledAndRemovedInEitherBitness) {
  ASSERT_TRUE(flows::RegisterKnownXlls(product_));
  EXPECT_EQ(Written(),
            (Lines{kOptions + std::string("[OPEN1]=") + Load(Found("TavXLAddIn_x64.xll")),
                   kOptions + std::string("[OPEN]=") + Load(Found("KelRTDAddIn_x64.xll"))}));
  // Older 32-bit entries go too.
  SfRegKeyPath options(RegRoot::kCurrentUser, "Software\\Microsoft\\Office\\16.0\\Excel\\Options");
  ASSERT_TRUE(options.WriteString("OPEN2", Load("C:\\Old\\TavXLAddIn.xll")));
  EXPECT_TRUE(flows::UnregisterKnownXlls());
  EXPECT_EQ(Written(), Lines{});
  fs::remove(Found("TavXLAddIn_x64.xll"));
  EXPECT_FALSE(flows::RegisterKnownXlls(product_));
}

TEST_F(RegistrationFlowTest, TheTavXLEntryListNamesWhatIsPresent) {
  EXPECT_TRUE(flows::TavXLRegistryEntries().empty());
  ASSERT_TRUE(flows::TavXL_Register(true, product_, true, true));
  std::set<std::string> texts;
  for (const SfRegKeyPath& key : flows::TavXLRegistryEntries()) {
    EXPECT_EQ(key.root(), RegRoot::kCurrentUser) << key.path();
    texts.insert(key.path());
  }
  for (const char* path : {"Software\\Classes\\TavXL", "Software\\Classes\\KelRTD",
                           "Software\\Classes\\KelRTDAddInExLib.Connect.1",
                           "Software\\Orvex Data Services\\Installer\\TavXL"}) {
    EXPECT_EQ(texts.count(path), 1u) << path;
  }
  EXPECT_EQ(texts.count(kRunKeyPath), 0u) << "no log-on entry asked for";
}

// Runs as the cleanup copy itself: the copy cannot delete its own running file.
ORVEX_CHILD_ROLE(delete_own_copy) {
  return flows::DeleteCleanupCopy() ? 0 : 3;  // scheduling ends the process with 0
}

TEST_F(RegistrationFlowTest, TheCleanupCopyDeletesItselfAfterItHasEnded) {
  const std::string copy = CleanupCopyPath();
  ASSERT_NE(copy, "");
  fs::create_directories(fs::path(copy).parent_path());
  fs::copy_file(platform::CurrentExecutablePath(), copy);
  platform::ProcessObject* child =
      platform::SpawnProcess(copy, {"--orvex-child", "delete_own_copy"});
  ASSERT_NE(child, nullptr);
  int exit_code = -1;
  EXPECT_TRUE(platform::WaitProcess(child, 30000, &exit_code));
  platform::CloseProcess(child);
  EXPECT_EQ(exit_code, 0);
  for (int i = 0; i < 300 && fs::exists(copy); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_FALSE(fs::exists(copy)) << "deleted by the script once the copy had ended";
}

}  // namespace
}  // namespace orvex::registration_test
