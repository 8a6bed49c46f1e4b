// The installation configuration file: names, content, report lines, results, access.
#include "system/install_config.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/account.h"
#include "platform/directory_link.h"
#include "platform/file_access.h"
#include "platform/process.h"
#include "system/testing/test_scratch.h"

namespace orvex::test {
namespace {

using namespace system;

constexpr char kWriteReport[] =
    "RTD Config file Start\n"
    "RTD Config file Create config directory\n"
    "RTD Config file Get config file name\n"
    "RTD Config file Set content\n"
    "RTD Config file Write file\n"
    "RTD Config file Set file permission\n"
    "RTD Config file End\n";

// POSIX: program data is a private folder per test. Windows (Wine): the prefix's one
// program-data folder, cleared of our folder before and after each test.
class InstallConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!WindowsBackend()) {
      platform::SetEnvVar("ORVEX_PROGRAMDATA_DIR", program_data_.path().c_str());
    }
    const std::filesystem::path all_users = InstallConfigPath("AU");
    ASSERT_FALSE(all_users.empty());
    settings_ = all_users.parent_path().string();
    base_ = all_users.parent_path().parent_path().string();
    ASSERT_TRUE(base_.ends_with("Orvex Data Services"));
    std::filesystem::remove_all(base_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(base_, ignored);
    platform::SetEnvVar("ORVEX_PROGRAMDATA_DIR", nullptr);
  }

  ScratchFolder program_data_;
  std::string base_;
  std::string settings_;
};

TEST_F(InstallConfigTest, PerUserAndAllUsersFilesShareTheSettingsFolder) {
  std::string report;
  ASSERT_EQ(WriteInstallConfig("CU", "4.6.1", "EXE_NA", &report), 1);
  EXPECT_EQ(report, kWriteReport);
  const std::string per_user = JoinPath(settings_, platform::CurrentUserName() + "_arguments.txt");
  ASSERT_FALSE(platform::CurrentUserName().empty());
  EXPECT_EQ(InstallConfigPath("CU"), per_user);
  EXPECT_EQ(ReadFileBytes(per_user), "Version=4.6.1\nInstallType=EXE_NA\n");

  report.clear();
  ASSERT_EQ(WriteInstallConfig("AU", "4.6.2", "MSI_ALL", &report), 1);
  EXPECT_EQ(report, kWriteReport);
  EXPECT_EQ(ReadFileBytes(JoinPath(settings_, "arguments.txt")),
            "Version=4.6.2\nInstallType=MSI_ALL\n");
  // The per-user file is untouched; only "CU" exactly is the per-user scope.
  EXPECT_EQ(ReadFileBytes(per_user), "Version=4.6.1\nInstallType=EXE_NA\n");
  EXPECT_EQ(InstallConfigPath("cu"), JoinPath(settings_, "arguments.txt"));
}

TEST_F(InstallConfigTest, RewriteReplacesTheWholeFileAndEmptyVersionIsKept) {
  std::string report;
  ASSERT_EQ(WriteInstallConfig("AU", "10.20.30.40-long-version", "EXE_MIX", &report), 1);
  ASSERT_EQ(WriteInstallConfig("AU", "", "MSI_NA", &report), 1);
  EXPECT_EQ(ReadFileBytes(InstallConfigPath("AU")), "Version=\nInstallType=MSI_NA\n");
}

TEST_F(InstallConfigTest, EveryoneGetsFullAccessToTheFileOnly) {
  if (!WindowsBackend()) GTEST_SKIP() << "POSIX gives the file to its writer: the owner test";
  std::string report;
  ASSERT_EQ(WriteInstallConfig("AU", "1", "EXE_ALL", &report), 1);
  EXPECT_TRUE(platform::EveryoneHasFullAccess(InstallConfigPath("AU")));
  // A file written without the grant does not pass the same check.
  const std::string plain = JoinPath(settings_, "plain.txt");
  ASSERT_TRUE(WriteNewFile(plain, "x"));
  EXPECT_FALSE(platform::EveryoneHasFullAccess(plain));
}

TEST_F(InstallConfigTest, DirectoryInTheWayFailsTheWriteAndIsNoFileToDelete) {
  std::filesystem::create_directories(InstallConfigPath("AU"));
  std::string report;
  EXPECT_EQ(WriteInstallConfig("AU", "1", "EXE_ALL", &report), -2);
  EXPECT_EQ(report,
            "RTD Config file Start\n"
            "RTD Config file Create config directory\n"
            "RTD Config file Get config file name\n"
            "RTD Config file Set content\n");
  report.clear();
  EXPECT_EQ(DeleteInstallConfig("AU", &report), 1);
  EXPECT_EQ(report,
            "RTD Un Config file Start\n"
            "RTD Un Config file Get config file name\n"
            "RTD Un Config file File does not exist\n"
            "RTD Un Config file End\n");
  EXPECT_TRUE(std::filesystem::is_directory(InstallConfigPath("AU")));
}

TEST_F(InstallConfigTest, DeleteRemovesTheFileOnceThenReportsItMissing) {
  std::string report;
  ASSERT_EQ(WriteInstallConfig("CU", "2", "EXE_NA", &report), 1);
  ASSERT_EQ(WriteInstallConfig("AU", "2", "EXE_NA", &report), 1);
  report.clear();
  EXPECT_EQ(DeleteInstallConfig("CU", &report), 1);
  EXPECT_EQ(report,
            "RTD Un Config file Start\n"
            "RTD Un Config file Get config file name\n"
            "RTD Un Config file File deleted\n"
            "RTD Un Config file End\n");
  EXPECT_FALSE(FileExists(InstallConfigPath("CU")));
  EXPECT_TRUE(FileExists(InstallConfigPath("AU")));
  report.clear();
  EXPECT_EQ(DeleteInstallConfig("CU", &report), 1);
  EXPECT_NE(report.find("RTD Un Config file File does not exist\n"), std::string::npos);
}

TEST_F(InstallConfigTest, ALinkInPlaceOfEitherFolderIsRefusedAndNothingIsWrittenThrough) {
  ScratchFolder elsewhere;
  const std::filesystem::path target = elsewhere.path();
  for (const bool settings_link : {false, true}) {
    SCOPED_TRACE(settings_link ? "Settings" : "Orvex Data Services");
    if (settings_link) std::filesystem::create_directories(base_);
    const std::string link = settings_link ? settings_ : base_;
    ASSERT_TRUE(platform::MakeDirectoryLink(target.string(), link));
    std::string report;
    EXPECT_EQ(WriteInstallConfig("AU", "1", "EXE_ALL", &report), -1);
    EXPECT_EQ(report, "RTD Config file Start\n");
    EXPECT_TRUE(std::filesystem::is_empty(target));
    EXPECT_TRUE(platform::RemoveDirectoryLink(link));
    std::filesystem::remove_all(base_);
  }
}

TEST_F(InstallConfigTest, FolderThatCannotBeCreatedEndsAfterStart) {
  ASSERT_TRUE(WriteNewFile(base_, "a file where the folder belongs"));
  std::string report;
  EXPECT_EQ(WriteInstallConfig("AU", "1", "EXE_ALL", &report), -1);
  EXPECT_EQ(report, "RTD Config file Start\n");
  std::filesystem::remove(base_);
}

// Natively the program-data folder can be made unknown; the delete must then not fall
// back to a relative path in the current directory.
TEST(InstallConfigUnknownFolderTest, WriteAndDeleteFailWithoutTouchingTheCurrentDirectory) {
  if (WindowsBackend()) GTEST_SKIP() << "the known folder cannot be made unresolvable on Windows";
  ScratchFolder cwd;
  platform::SetEnvVar("ORVEX_PROGRAMDATA_DIR", (cwd / "does-not-exist").c_str());
  const std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::current_path(cwd.path());
  std::filesystem::create_directories("Settings");
  ASSERT_TRUE(WriteNewFile("Settings/arguments.txt", "someone else's"));

  EXPECT_EQ(InstallConfigPath("AU"), "");
  std::string report;
  EXPECT_EQ(WriteInstallConfig("AU", "1", "EXE_ALL", &report), -1);
  EXPECT_EQ(report, "RTD Config file Start\n");
  report.clear();
  EXPECT_EQ(DeleteInstallConfig("AU", &report), -1);
  EXPECT_EQ(report,
            "RTD Un Config file Start\n"
            "RTD Un Config file Get config file name\n");
  EXPECT_EQ(ReadFileBytes("Settings/arguments.txt"), "someone else's");

  std::filesystem::current_path(saved);
  platform::SetEnvVar("ORVEX_PROGRAMDATA_DIR", nullptr);
}

}  // namespace
}  // namespace orvex::test
