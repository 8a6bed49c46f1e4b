// Pendrel run elevated on Linux where other users are involved: a component another
// user owns is refused, and every per-user part of an all-users registration or
// removal runs as the user pkexec or sudo was asked by, none in root's profile.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <utility>

#include "platform/elevation.h"
#include "registration/auto_run.h"
#include "registration/tavxl_product.h"
#include "registration/xll_addin.h"
#include "tests/pendrel_action_fixture.h"

namespace orvex::test {
namespace {

constexpr const char* kRefused = "Refused file others can write: ";

class PendrelElevatedPosixTest : public PendrelActionTest {
 protected:
  void SetUp() override {
    PendrelActionTest::SetUp();
    if (!IsSkipped() && geteuid() != 0) GTEST_SKIP() << "needs root to act as other users";
  }
};

TEST_F(PendrelElevatedPosixTest, AComponentAnotherUserOwnsCountsAsMissing) {
  const std::string bus = system::FindFileInTree("Corvane.exe", product_);
  ASSERT_FALSE(bus.empty());
  // Owned by another user who is not the owner of the installation folder.
  PendrelRun run;
  fs::permissions(bus, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
  ASSERT_EQ(chown(bus.c_str(), 4242, 4242), 0);
  run = RunAs("1", "RTDRunCU " + Quoted(product_));
  EXPECT_EQ(run.output, kRefused + bus + "\nRTD Run CU FAILED\n");
  // Given back to root: taken again.
  ASSERT_EQ(chown(bus.c_str(), 0, 0), 0);
  run = RunAs("1", "RTDRunCU " + Quoted(product_));
  EXPECT_EQ(run.output, "RTD Run CU SUCCESS\n");
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
    // The places a copy of Pendrel run as the user takes (platform::RunAsUser).
    for (const char* variable : {"ORVEX_REGISTRY_DIR", "ORVEX_REGISTRY_MACHINE_WRITABLE",
                                 "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
      unsetenv(variable);
    }
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

// An elevated run for a real account of its own: the installation folder is the
// user's (its owner counts as trusted), so whoever runs a program there leaves a
// marker of their own, and the user has a 64-bit Excel in their own registry.
class InvokingUserTest : public PendrelElevatedPosixTest {
 protected:
  void SetUp() override {
    PendrelElevatedPosixTest::SetUp();
    if (IsSkipped()) return;
    home_ = dir_ / "home";
    account_ = std::make_unique<TestAccount>(home_);
    if (!account_->ok()) GTEST_SKIP() << "no account can be created here (useradd)";
    for (const auto& entry : fs::recursive_directory_iterator(product_)) {
      ASSERT_EQ(lchown(entry.path().c_str(), uid(), uid()), 0);
    }
    ASSERT_EQ(chown(product_.c_str(), uid(), uid()), 0);
    fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    ASSERT_EQ(AsUser([this] { return GiveExcel(); }), 0);
  }
  void TearDown() override {
    account_.reset();
    PendrelElevatedPosixTest::TearDown();
  }

  uid_t uid() const { return account_->uid(); }
  int AsUser(const std::function<bool()>& body) const { return AsAccount(uid(), home_, body); }
  bool GiveExcel() const {
    const std::string excel = (dir_ / "Excel" / "EXCEL.EXE").string();
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
  }
  // What the user's own registry holds, read as the user (bit 0: TavXL's own parts,
  // bit 1: "TavRunCU", bit 2: "TavCleanAU", bit 3: "RTDCleanAU").
  int UsersOwn() const {
    int bits = 0;
    for (int bit = 0; bit < 4; ++bit) {
      if (AsUser([bit] {
            const SfRegKeyPath run_key(RegRoot::kCurrentUser, kRunKeyPath);
            switch (bit) {
              case 0:
                return TavXLProduct("", false).OwnPartsRegistered();
              case 1:
                return run_key.ValueExists("TavRunCU");
              case 2:
                return run_key.ValueExists("TavCleanAU");
              default:
                return run_key.ValueExists("RTDCleanAU");
            }
          }) == 0) {
        bits |= 1 << bit;
      }
    }
    return bits;
  }

  fs::path home_;
  std::unique_ptr<TestAccount> account_;
};

TEST_F(InvokingUserTest, TheElevatedCopyDoesThePerUserHalfAsTheInvokingUser) {
  const fs::path& home = home_;
  for (const char* variable : {"PKEXEC_UID", "SUDO_UID"}) {
    SCOPED_TRACE(variable);
    ASSERT_EQ(AsUser([this] { return GiveExcel(); }), 0);
    // What pkexec or sudo hands the elevated copy.
    platform::SetEnvVar(variable, std::to_string(uid()).c_str());
    const PendrelRun run = RunAs("1", "RTD /A " + Quoted(product_));
    platform::SetEnvVar(variable, nullptr);
    EXPECT_EQ(run.exit_code, 1) << run.trace;
    EXPECT_EQ(run.output, "RTD Registration SUCCESS\n");
    EXPECT_TRUE(flows::IsRegisteredForAllUsers());
    // Root's own profile got no per-user half: no cleanup entry, no cleanup copy, no
    // XLL in root's Excel list.
    EXPECT_FALSE(SfRegKeyPath(RegRoot::kCurrentUser, kRunKeyPath).ValueExists("RTDCleanAU"));
    EXPECT_FALSE(SfxRegNode_KelRTDAddIn().IsRegistered());
    EXPECT_FALSE(fs::exists(dir_ / "AppData" / "TavXLUserCleanup"));
    // The user's: the cleanup entry in the user's registry, the cleanup copy, the bus.
    EXPECT_EQ(
        AsAccount(
            uid(), home,
            [] {
              return SfRegKeyPath(RegRoot::kCurrentUser, kRunKeyPath).ValueExists("RTDCleanAU");
            }),
        0);
    EXPECT_EQ(OwnerOf(home / ".local" / "share" / "TavXLUserCleanup" / "TavRegW.exe"), uid());
    const std::string bus = system::FindFileInTree("Corvane.exe", product_);
    EXPECT_EQ(Starts("Corvane.exe"), "[/regXLL]\n");
    EXPECT_EQ(OwnerOf(bus + ".started"), uid());
    fs::remove(bus + ".started");
    fs::remove_all(home / ".config");
    fs::remove_all(home / ".local");
  }
}

TEST_F(InvokingUserTest, AllUsersInstallAndRemovalCleanTheUsersOwnPartsAsTheUser) {
  platform::SetEnvVar("PKEXEC_UID", std::to_string(uid()).c_str());
  // The user's own per-user TavXL installation, made by the user.
  ASSERT_EQ(platform::RunAsUser(uid(), PendrelPath(), {"TavXL", product_}), 1);
  ASSERT_EQ(UsersOwn(), 0b0011);
  const std::string watchdog = system::FindFileInTree("TavWatchdogW.exe", product_);
  ASSERT_EQ(Starts("TavWatchdogW.exe"), "[]\n");
  fs::remove(watchdog + ".started");
  // RTD for all users: the user's own installation wins over its per-user half.
  PendrelRun run = RunAs("1", "RTD /A " + Quoted(product_));
  EXPECT_EQ(run.exit_code, 1) << run.trace;
  EXPECT_EQ(run.output, "RTD Registration SUCCESS\n");
  EXPECT_EQ(UsersOwn(), 0b0011);
  // TavXL for all users, through the restart as the user starts it: the copy cleans
  // first, for all users as root, the user's own installation as the user; then the
  // per-user half is the user's again.
  run = RunAs("0>1", "TavXL /A " + Quoted(product_));
  EXPECT_EQ(run.exit_code, 1) << run.trace;
  EXPECT_EQ(run.output, std::string(kRestartLine) + kSucceededLine +
                            "Clean SUCCESSTavXL Registration SUCCESS\n");
  EXPECT_EQ(UsersOwn(), 0b0101);
  EXPECT_TRUE(flows::IsRegisteredForAllUsers());
  // Root's own profile holds nothing of the product: no COM entries, no XLLs.
  EXPECT_FALSE(TavXLProduct("", false).OwnPartsRegistered());
  EXPECT_FALSE(SfxRegNode_KelRTDAddIn().IsRegistered());
  EXPECT_FALSE(SfRegKeyPath(RegRoot::kCurrentUser, kRunKeyPath).ValueExists("TavCleanAU"));
  EXPECT_EQ(Starts("TavWatchdogW.exe"), "[]\n");
  EXPECT_EQ(OwnerOf(watchdog + ".started"), uid());
  // Drop removes the all-users product as root and the user's parts as the user.
  run = RunAs("1", "Drop " + Quoted(product_));
  EXPECT_EQ(run.exit_code, 1) << run.trace;
  EXPECT_EQ(run.output, "Stop SUCCESS\nDrop SUCCESS\n");
  EXPECT_EQ(UsersOwn(), 0);
  EXPECT_FALSE(flows::IsAnythingRegistered());
  platform::SetEnvVar("PKEXEC_UID", nullptr);
}

}  // namespace
}  // namespace orvex::test
