// The window table's folder as a release build (no test seams) chooses it: an elevated
// run does not follow XDG_RUNTIME_DIR ("sudo -E" hands it the invoking user's), an
// unprivileged run still takes its own.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "test_users.h"
#include "window_table.h"

namespace orvex::platform::posix {
namespace {

namespace fs = std::filesystem;

TEST(WindowTableReleaseTest, OnlyAnUnprivilegedRunFollowsTheRuntimeFolderVariable) {
  if (geteuid() != 0) GTEST_SKIP() << testing::kNeedsRoot;
  const uid_t user = testing::UnusedUid(55000);
  const fs::path runtime = fs::temp_directory_path() / ("orvex-release-" + std::to_string(user));
  fs::create_directories(runtime);
  ASSERT_EQ(chmod(runtime.c_str(), 0700), 0);
  // A folder root owns and nobody else may write: still not the one an elevated run takes.
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  EXPECT_EQ(TableFolder(), "/tmp/orvex-0/windows");
  EXPECT_FALSE(fs::exists(runtime / "orvex-windows"));
  // The same variable naming the user's own folder, for that user.
  ASSERT_EQ(chown(runtime.c_str(), user, user), 0);
  const std::string expected = (runtime / "orvex-windows").string();
  EXPECT_EQ(testing::WaitFor(
                testing::StartAs(user, [&expected] { return TableFolder() == expected ? 0 : 1; })),
            0);
  unsetenv("XDG_RUNTIME_DIR");
  fs::remove_all(runtime);
  fs::remove_all("/tmp/orvex-" + std::to_string(user));
}

}  // namespace
}  // namespace orvex::platform::posix
