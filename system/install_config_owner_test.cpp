// The installation configuration file on POSIX as root writes it: explicit modes under
// any umask, nothing written through a planted link or into a folder another user
// owns, and a second, unprivileged user can still write the per-user file.
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "system/install_config.h"
#include "system/testing/test_scratch.h"
#include "test_users.h"

namespace orvex::test {
namespace {

using namespace system;
namespace users = platform::posix::testing;
namespace fs = std::filesystem;

mode_t ModeOf(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

class InstallConfigOwnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << users::kNeedsRoot;
    // The scratch folder must be reachable by the other user.
    fs::permissions(program_data_.path(), fs::perms::owner_all | fs::perms::group_exec |
                                              fs::perms::others_exec | fs::perms::others_read);
    platform::SetEnvVar("ORVEX_PROGRAMDATA_DIR", program_data_.path().c_str());
    base_ = program_data_ / "Orvex Data Services";
    settings_ = base_ + "/Settings";
  }
  void TearDown() override { platform::SetEnvVar("ORVEX_PROGRAMDATA_DIR", nullptr); }

  ScratchFolder program_data_;
  std::string base_;
  std::string settings_;
};

TEST_F(InstallConfigOwnerTest, ModesAreExplicitAndAPlantedLinkIsReplacedNotFollowed) {
  const mode_t old_mask = umask(0);
  std::string report;
  const int first = WriteInstallConfig("AU", "1", "EXE_ALL", &report);
  umask(old_mask);
  ASSERT_EQ(first, 1) << report;
  EXPECT_EQ(ModeOf(base_), 0755u);
  EXPECT_EQ(ModeOf(settings_), 01777u);
  EXPECT_EQ(ModeOf(InstallConfigPath("AU")), 0644u);
  // A link to a root-only file put in place of the file: the link goes, the target stays.
  const std::string secret = program_data_ / "secret";
  std::ofstream(secret) << "root only";
  fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);
  fs::remove(InstallConfigPath("AU"));
  fs::create_symlink(secret, InstallConfigPath("AU"));
  ASSERT_EQ(WriteInstallConfig("AU", "2", "EXE_ALL", &report), 1);
  EXPECT_EQ(ReadFileBytes(secret), "root only");
  EXPECT_EQ(ModeOf(secret), 0600u);
  EXPECT_EQ(ReadFileBytes(InstallConfigPath("AU")), "Version=2\nInstallType=EXE_ALL\n");
  EXPECT_FALSE(fs::is_symlink(InstallConfigPath("AU")));
}

TEST_F(InstallConfigOwnerTest, FoldersAnotherUserOwnsOrAnyoneCanWriteAreRefused) {
  const uid_t other = users::UnusedUid(47000);
  fs::create_directories(settings_);
  ASSERT_EQ(chown(base_.c_str(), other, other), 0);
  std::string report;
  EXPECT_EQ(WriteInstallConfig("AU", "1", "EXE_ALL", &report), -1);
  EXPECT_EQ(report, "RTD Config file Start\n");
  // Root's, but a non-sticky Settings folder open to all, made by someone else's hand
  // before: root owns it, so it is narrowed to the sticky mode, not refused.
  ASSERT_EQ(chown(base_.c_str(), 0, 0), 0);
  fs::permissions(settings_, fs::perms::all);
  report.clear();
  EXPECT_EQ(WriteInstallConfig("AU", "1", "EXE_ALL", &report), 1) << report;
  EXPECT_EQ(ModeOf(settings_), 01777u);
  // A Settings folder another user owns is refused even when it is sticky.
  ASSERT_EQ(chown(settings_.c_str(), other, other), 0);
  report.clear();
  EXPECT_EQ(WriteInstallConfig("CU", "1", "EXE_ALL", &report), -1);
  // A link in place of the folder is no folder.
  fs::remove_all(settings_);
  const std::string elsewhere = program_data_ / "elsewhere";
  fs::create_directories(elsewhere);
  fs::create_directory_symlink(elsewhere, settings_);
  report.clear();
  EXPECT_EQ(WriteInstallConfig("AU", "1", "EXE_ALL", &report), -1);
  EXPECT_TRUE(fs::is_empty(elsewhere));
}

TEST_F(InstallConfigOwnerTest, ASecondUnprivilegedUserWritesOnlyAnOwnFile) {
  std::string report;
  ASSERT_EQ(WriteInstallConfig("AU", "1", "EXE_ALL", &report), 1);
  ASSERT_EQ(WriteInstallConfig("CU", "1", "EXE_ALL", &report), 1);
  const std::string root_file = InstallConfigPath("CU");
  const uid_t other = users::UnusedUid(48000);
  // Without an account the name comes from USER.
  platform::SetEnvVar("USER", "orvexother");
  const int own = users::WaitFor(users::StartAs(other, [] {
    std::string lines;
    return WriteInstallConfig("CU", "7", "EXE_NA", &lines) == 1 ? 0 : 1;
  }));
  // Naming itself after root does not give it root's per-user file or the all-users one.
  platform::SetEnvVar("USER", "root");
  const int as_root = users::WaitFor(users::StartAs(other, [] {
    std::string lines;
    return WriteInstallConfig("CU", "8", "EXE_NA", &lines) == -2 ? 0 : 1;
  }));
  platform::SetEnvVar("USER", nullptr);
  EXPECT_EQ(own, 0);
  EXPECT_EQ(as_root, 0);
  const std::string other_file = settings_ + "/orvexother_arguments.txt";
  EXPECT_EQ(ReadFileBytes(other_file), "Version=7\nInstallType=EXE_NA\n");
  struct stat info;
  ASSERT_EQ(lstat(other_file.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, other);
  EXPECT_EQ(ReadFileBytes(root_file), "Version=1\nInstallType=EXE_ALL\n");
}

}  // namespace
}  // namespace orvex::test
