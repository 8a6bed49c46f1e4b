// Pendrel run elevated against a product folder that other users could have changed:
// files in folders they can write are refused and named, links are not followed, and
// what gets registered and started never depends on the current directory or PATH.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <utility>

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
  if (WindowsBuild()) return;
  // Owned by another user who is not the owner of the installation folder.
  fs::permissions(bus, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
  ASSERT_EQ(chown(bus.c_str(), 4242, 4242), 0);
  run = RunAs("1", "RTDRunCU " + Quoted(product_));
  EXPECT_EQ(run.output, kRefused + bus + "\nRTD Run CU FAILED\n");
  // Given back to root: taken again.
  ASSERT_EQ(chown(bus.c_str(), 0, 0), 0);
  run = RunAs("1", "RTDRunCU " + Quoted(product_));
  EXPECT_EQ(run.output, "RTD Run CU SUCCESS\n");
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

// A real account for the per-user half of an elevated run; removed again at the end.
class TestAccount {
 public:
  explicit TestAccount(const fs::path& home) : home_(home) {
    name_ = "orvex" + std::to_string(getpid() % 100000);
    const std::string command = "useradd -M -d '" + home.string() + "' " + name_ + " 2>/dev/null";
    if (std::system(command.c_str()) != 0) return;
    const passwd* entry = getpwnam(name_.c_str());
    if (entry == nullptr) return;
    uid_ = entry->pw_uid;
    fs::create_directories(home);
    ok_ = chown(home.c_str(), uid_, entry->pw_gid) == 0;
  }
  ~TestAccount() {
    if (uid_ != 0) std::system(("userdel " + name_ + " 2>/dev/null").c_str());
  }
  bool ok() const { return ok_; }
  uid_t uid() const { return uid_; }

 private:
  fs::path home_;
  std::string name_;
  uid_t uid_ = 0;
  bool ok_ = false;
};

// Runs `body` in a forked child as the account, with its own registry (in `home`).
int AsAccount(uid_t uid, const fs::path& home, const std::function<bool()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgroups(0, nullptr) != 0 || setresgid(uid, uid, uid) != 0 ||
        setresuid(uid, uid, uid) != 0) {
      _exit(2);
    }
    unsetenv("ORVEX_REGISTRY_DIR");
    unsetenv("ORVEX_REGISTRY_MACHINE_WRITABLE");
    setenv("HOME", home.c_str(), 1);
    _exit(body() ? 0 : 1);
  }
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

uid_t OwnerOf(const fs::path& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 ? info.st_uid : static_cast<uid_t>(-1);
}

TEST_F(PendrelElevatedTest, TheElevatedCopyDoesThePerUserHalfAsTheInvokingUser) {
  if (WindowsBuild()) GTEST_SKIP() << "the Windows elevated copy is the installing user already";
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  const fs::path home = dir_ / "home";
  TestAccount account(home);
  if (!account.ok()) GTEST_SKIP() << "no account can be created here (useradd)";
  // The installation folder is the user's (its owner counts as trusted), so whoever
  // runs a program there leaves a marker of their own.
  for (const auto& entry : fs::recursive_directory_iterator(product_)) {
    ASSERT_EQ(lchown(entry.path().c_str(), account.uid(), account.uid()), 0);
  }
  ASSERT_EQ(chown(product_.c_str(), account.uid(), account.uid()), 0);
  // The user's own 64-bit Excel, in the user's own registry.
  const std::string excel = (dir_ / "Excel" / "EXCEL.EXE").string();
  const auto give_excel = [&excel] {
    const char* clsid = "{00024500-0000-0000-C000-000000000046}";
    const std::pair<std::string, std::string> keys[] = {
        {"Excel.Application\\CLSID", clsid},
        {std::string("CLSID\\") + clsid + "\\LocalServer32", "\"" + excel + "\" /automation"},
        {"Excel.Application\\CurVer", "Excel.Application.16"}};
    for (const auto& [path, text] : keys) {
      const SfRegKeyPath key(RegRoot::kCurrentUser, "Software\\Classes\\" + path);
      if (!key.Create() || !key.WriteString("", text)) return false;
    }
    return true;
  };
  fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);

  for (const char* variable : {"PKEXEC_UID", "SUDO_UID"}) {
    SCOPED_TRACE(variable);
    ASSERT_EQ(AsAccount(account.uid(), home, give_excel), 0);
    // What pkexec or sudo hands the elevated copy.
    platform::SetEnvVar(variable, std::to_string(account.uid()).c_str());
    const PendrelRun run = RunAs("1", "RTD /A " + Quoted(product_));
    platform::SetEnvVar(variable, nullptr);
    EXPECT_EQ(run.exit_code, 1) << run.trace;
    EXPECT_EQ(run.output, "RTD Registration SUCCESS\n");
    EXPECT_TRUE(flows::IsRegisteredForAllUsers());
    // Root's own profile got no per-user half: no cleanup entry, no cleanup copy.
    EXPECT_FALSE(SfRegKeyPath(RegRoot::kCurrentUser, kRunKeyPath).ValueExists("RTDCleanAU"));
    EXPECT_FALSE(fs::exists(dir_ / "AppData" / "TavXLUserCleanup"));
    // The user's: the cleanup entry in the user's registry, the cleanup copy, the bus.
    EXPECT_EQ(
        AsAccount(
            account.uid(), home,
            [] {
              return SfRegKeyPath(RegRoot::kCurrentUser, kRunKeyPath).ValueExists("RTDCleanAU");
            }),
        0);
    EXPECT_EQ(OwnerOf(home / ".local" / "share" / "TavXLUserCleanup" / "TavRegW.exe"),
              account.uid());
    const std::string bus = system::FindFileInTree("Corvane.exe", product_);
    EXPECT_EQ(Starts("Corvane.exe"), "[/regXLL]\n");
    EXPECT_EQ(OwnerOf(bus + ".started"), account.uid());
    fs::remove(bus + ".started");
    fs::remove_all(home / ".config");
    fs::remove_all(home / ".local");
  }
}

}  // namespace
}  // namespace orvex::test
