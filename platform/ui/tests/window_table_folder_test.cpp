// The window table lives in a folder that another user must not have made: there they
// could read every window's entry, plant entries or take the message sockets' names.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "test_users.h"
#include "window_table.h"

namespace orvex::platform::posix {
namespace {

using testing::RunAs;

size_t CountEntries(const std::string& folder) {
  size_t count = 0;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* item = readdir(dir)) count += item->d_name[0] != '.';
    closedir(dir);
  }
  return count;
}

bool MakeFolder(const std::string& path, uid_t owner, mode_t mode) {
  return mkdir(path.c_str(), mode) == 0 && chown(path.c_str(), owner, owner) == 0 &&
         chmod(path.c_str(), mode) == 0;
}

// Run as the victim: publishes a window and starts its socket; the exit code tells
// which steps worked (bit 0: entry, bit 1: listing, bit 2: socket).
int PublishWindow(const char* runtime_dir) {
  if (runtime_dir == nullptr) {
    unsetenv("XDG_RUNTIME_DIR");
  } else {
    setenv("XDG_RUNTIME_DIR", runtime_dir, 1);
  }
  TableEntry entry;
  entry.handle = (static_cast<uint64_t>(getpid()) << 32) | 1;
  entry.window_class = "Victim";
  entry.title = "Orvex RTD Bus";
  std::vector<TableEntry> entries;
  const bool socket =
      StartMessageSocket([](uint64_t, uint32_t, uint64_t, int64_t, bool) { return int64_t{0}; });
  return (PublishEntry(entry) ? 1 : 0) | (ListEntries(&entries) ? 2 : 0) | (socket ? 4 : 0);
}

class WindowTableFolderTest : public testing::TwoUsersTest {
 protected:
  void SetUp() override {
    TwoUsersTest::SetUp();
    tmp_folder_ = "/tmp/orvex-" + std::to_string(victim_);
  }
  std::string tmp_folder_;
};

TEST_F(WindowTableFolderTest, AFolderInTmpMadeByAnotherUserIsRefused) {
  ASSERT_EQ(RunAs(attacker_,
                  [this] {
                    return mkdir(tmp_folder_.c_str(), 0777) == 0 &&
                                   chmod(tmp_folder_.c_str(), 0777) == 0 &&
                                   mkdir((tmp_folder_ + "/windows").c_str(), 0777) == 0 &&
                                   chmod((tmp_folder_ + "/windows").c_str(), 0777) == 0
                               ? 0
                               : 1;
                  }),
            0);
  EXPECT_EQ(RunAs(victim_, [] { return PublishWindow(nullptr); }), 0);
  EXPECT_EQ(CountEntries(tmp_folder_ + "/windows"), 0u);  // nothing of the victim's there
}

TEST_F(WindowTableFolderTest, TheUsersOwnFoldersMustBeClosedToWriters) {
  ASSERT_TRUE(MakeFolder(tmp_folder_, victim_, 0700));
  ASSERT_TRUE(MakeFolder(tmp_folder_ + "/windows", victim_, 0777));
  EXPECT_EQ(RunAs(victim_, [] { return PublishWindow(nullptr); }), 0);
  EXPECT_EQ(CountEntries(tmp_folder_ + "/windows"), 0u);
  // Readable but closed to writers: narrowed to 0700 and used.
  ASSERT_EQ(chmod((tmp_folder_ + "/windows").c_str(), 0755), 0);
  EXPECT_EQ(RunAs(victim_, [] { return PublishWindow(nullptr); }), 7);
  struct stat st {};
  ASSERT_EQ(stat((tmp_folder_ + "/windows").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(WindowTableFolderTest, ARuntimeFolderOfAnotherUserIsNotUsed) {
  // XDG_RUNTIME_DIR inherited from another user (sudo -E) and open to all.
  const std::string foreign = "/tmp/orvex-xdg-" + std::to_string(attacker_);
  extra_.push_back(foreign);
  ASSERT_TRUE(MakeFolder(foreign, attacker_, 0777));
  EXPECT_EQ(RunAs(victim_, [&foreign] { return PublishWindow(foreign.c_str()); }), 7);
  EXPECT_EQ(CountEntries(foreign), 0u);
  EXPECT_EQ(CountEntries(tmp_folder_ + "/windows"), 2u);  // the fallback: entry and socket
}

TEST_F(WindowTableFolderTest, AForeignTableFolderInTheUsersRuntimeFolderIsRefused) {
  const std::string runtime = "/tmp/orvex-xdg-" + std::to_string(victim_);
  extra_.push_back(runtime);
  ASSERT_TRUE(MakeFolder(runtime, victim_, 0700));
  ASSERT_TRUE(MakeFolder(runtime + "/orvex-windows", attacker_, 0777));
  EXPECT_EQ(RunAs(victim_, [&runtime] { return PublishWindow(runtime.c_str()); }), 0);
  EXPECT_EQ(CountEntries(runtime + "/orvex-windows"), 0u);
  // The user's own runtime folder with its own table folder is used.
  ASSERT_EQ(rmdir((runtime + "/orvex-windows").c_str()), 0);
  EXPECT_EQ(RunAs(victim_, [&runtime] { return PublishWindow(runtime.c_str()); }), 7);
  EXPECT_EQ(CountEntries(runtime + "/orvex-windows"), 2u);  // entry and socket
}

}  // namespace
}  // namespace orvex::platform::posix
