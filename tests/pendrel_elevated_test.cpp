// Pendrel run elevated against a product folder that other users could have changed:
// files in folders they can write are refused and named, links are not followed, and
// what gets registered and started never depends on the current directory or PATH.
#include <cstdlib>

#include "platform/file_access.h"
#include "registration/auto_run.h"
#include "tests/pendrel_action_fixture.h"

namespace orvex::test {
namespace {

constexpr const char* kRefused = "Refused file others can write: ";

class PendrelElevatedTest : public PendrelActionTest {
 protected:
  // The cleanup program found first is a stand-in of TavRegW planted in `sub`.
  std::string Plant(const std::string& sub) {
    fs::remove(fs::path(product_) / "TavRegW.exe");
    fs::copy_file(STARTED_STANDIN, fs::path(product_) / "Pendrel.exe");
    const fs::path planted =
        fs::path(product_) / sub / (WindowsBuild() ? "TavRegW.exe" : "tavregw");
    fs::create_directories(planted.parent_path());
    fs::copy_file(STARTED_STANDIN, planted);
    return planted.string();
  }
  // Lets everyone write `path`.
  static void OpenToOthers(const std::string& path) {
    if (WindowsBuild()) {
      ASSERT_TRUE(platform::GrantEveryoneFullAccess(path)) << path;
    } else {
      fs::permissions(path, fs::perms::all);
    }
  }
  static std::string AllUsersRunValue(const std::string& name) {
    std::string text;
    SfRegKeyPath(RegRoot::kLocalMachine, kRunKeyPath).ReadString(name, &text);
    return text;
  }
};

TEST_F(PendrelElevatedTest, AProgramPlantedInAFolderOthersCanWriteIsRefusedAndNamed) {
  const std::string planted = Plant("data");
  OpenToOthers((fs::path(product_) / "data").string());
  const PendrelRun run = RunAs("1", "RTD /A " + Quoted(product_));
  EXPECT_EQ(run.exit_code, 1) << run.output;
  EXPECT_EQ(run.output, kRefused + fs::path(planted).make_preferred().string() +
                            "\nRTD Registration SUCCESS\n");
  const std::string value = AllUsersRunValue("RTDRunAU");
  EXPECT_NE(value.find("Pendrel.exe\" RTDRunAU"), std::string::npos) << value;
  EXPECT_EQ(value.find("avregw"), std::string::npos) << value;
  // Nothing the registration copies or starts is the planted file.
  EXPECT_EQ(ReadFileText(planted + ".started"), "");
}

TEST_F(PendrelElevatedTest, AComponentOthersCanWriteCountsAsMissing) {
  const std::string bus = system::FindFileInTree("Corvane.exe", product_);
  ASSERT_FALSE(bus.empty());
  OpenToOthers(bus);
  PendrelRun run = RunAs("1", "RTDRunCU " + Quoted(product_));
  EXPECT_EQ(run.output, kRefused + bus + "\nRTD Run CU FAILED\n");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(ReadFileText(bus + ".started"), "");
}

TEST_F(PendrelElevatedTest, LinksToFoldersAreNotSearched) {
  if (WindowsBuild()) GTEST_SKIP() << "directory links are made on the Linux side";
  // Two links back to the folder itself: without a bound, the search doubles per level.
  const fs::path loop = dir_ / "loop";
  fs::create_directories(loop);
  fs::create_directory_symlink(".", loop / "a");
  fs::create_directory_symlink(".", loop / "b");
  // A bus reachable only through a link to another folder is not taken either.
  fs::create_directory_symlink(fs::path(product_) / "programs", loop / "elsewhere");
  const PendrelRun run = Run("RTDRunCU " + Quoted(loop.string()));
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, "RTD Run CU FAILED\n");
}

TEST_F(PendrelElevatedTest, TheFolderDotBecomesAbsoluteAndProgramsAreNeverLookedUpOnPath) {
  // The bus at the top of the folder, another one first on PATH.
  const std::string bus_name = WindowsBuild() ? "Corvane.exe" : "corvane";
  const fs::path top = fs::path(product_) / bus_name;
  fs::copy_file(STARTED_STANDIN, top);
  const fs::path other = dir_ / "elsewhere" / bus_name;
  fs::create_directories(other.parent_path());
  fs::copy_file(STARTED_STANDIN, other);
  const char* old_path = std::getenv("PATH");
  const std::string saved_path = old_path != nullptr ? old_path : "";
  const std::string path_list =
      other.parent_path().string() + (WindowsBuild() ? ";" : ":") + saved_path;
  platform::SetEnvVar("PATH", path_list.c_str());
  const fs::path saved_directory = fs::current_path();
  fs::current_path(product_);
  const PendrelRun registered = RunAs("0", "RTD .");
  const PendrelRun started = RunAs("0", "RTDRunCU .");
  fs::current_path(saved_directory);
  platform::SetEnvVar("PATH", saved_path.c_str());

  EXPECT_EQ(registered.output, "RTD Registration SUCCESS\n");
  std::string value;
  SfRegKeyPath(RegRoot::kCurrentUser, kRunKeyPath).ReadString("RTDRunCU", &value);
  const std::string tool = (fs::path(product_) / "TavRegW.exe").string();
  EXPECT_EQ(value, Quoted(tool) + " RTDRunCU");
  EXPECT_EQ(started.output, "RTD Run CU SUCCESS\n");
  EXPECT_TRUE(WaitFor([&] { return fs::exists(top.string() + ".started"); })) << top;
  platform::SleepMs(500);
  EXPECT_FALSE(fs::exists(other.string() + ".started"));
}

}  // namespace
}  // namespace orvex::test
