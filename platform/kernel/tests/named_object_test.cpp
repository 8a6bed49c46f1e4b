// Another user must never get at a user's shared objects: names planted before the
// bus starts, a folder someone else made, files that are not the user's own. File
// names are spelt out: they are what other users and third-party clients see.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/event.h"
#include "platform/named_mapping.h"
#include "platform/named_mutex.h"
#include "platform/stale_objects.h"
#include "test_users.h"

namespace orvex::platform::posix {
namespace {

using testing::RunAs;

const char kBus[] = "Local\\Vantel";

// Makes `path` as `owner` with `mode`, holding `content`; returns an open descriptor.
int Plant(const std::string& path, uid_t owner, mode_t mode, const std::string& content) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return -1;
  if (!content.empty() && write(fd, content.data(), content.size()) < 0) return -1;
  if (fchown(fd, owner, owner) != 0 || fchmod(fd, mode) != 0) return -1;
  return fd;
}

std::string ReadAll(const std::string& path) {
  std::string text(4096, '\0');
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  const ssize_t n = fd < 0 ? -1 : read(fd, text.data(), text.size());
  if (fd >= 0) close(fd);
  text.resize(n < 0 ? 0 : static_cast<size_t>(n));
  return text;
}

// Run as the victim: 0 when every kind of object of that name is refused.
int EveryKindRefused(const std::string& name) {
  bool existed = false;
  if (CreateMapping(name, 512, nullptr, &existed) != nullptr) return 1;
  if (OpenMapping(name) != nullptr) return 2;
  if (CreateNamedMutex(name, nullptr, &existed) != nullptr) return 3;
  if (CreateNamedEvent(name, nullptr, &existed) != nullptr) return 4;
  return 0;
}

class ObjectIsolationTest : public testing::TwoUsersTest {
 protected:
  void SetUp() override {
    TwoUsersTest::SetUp();
    folder_ = "/dev/shm/orvex-" + std::to_string(victim_);
  }
  std::string folder_;
};

// The attack as first seen: world-writable names of the victim's, made and held by
// another user, hung the bus at start or were adopted by it.
TEST_F(ObjectIsolationTest, NamesPlantedInSharedMemoryByAnotherUserAreNotUsed) {
  const std::string prefix = "/dev/shm/orvex." + std::to_string(victim_) + ".";
  const int lock = Plant(prefix + "lock", attacker_, 0666, "");
  ASSERT_GE(lock, 0);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);  // held, as the attacker did
  const int block = Plant(prefix + "m.Local%5CVantel", attacker_, 0666, std::string(512, 'F'));
  ASSERT_GE(block, 0);
  ASSERT_EQ(flock(block, LOCK_SH), 0);  // a live object to the naive eye
  const int code = RunAs(victim_, [] {
    bool existed = true;
    MappingObject* mapping = CreateMapping(kBus, 512, nullptr, &existed);
    if (mapping == nullptr) return 1;
    if (existed) return 2;  // the attacker's block was adopted
    MappingView view = MapView(mapping, 0);
    if (view.base == nullptr || static_cast<char*>(view.base)[0] != 0) return 3;
    UnmapView(view);
    MutexObject* mutex = CreateNamedMutex(std::string(kBus) + "_MTRQ", nullptr, &existed);
    if (mutex == nullptr || LockMutex(mutex, 1000) != LockResult::kAcquired) return 4;
    UnlockMutex(mutex);
    CloseMutex(mutex);
    CloseMapping(mapping);
    return 0;
  });
  EXPECT_EQ(code, 0) << "-2: the victim hung; 1-4: see the steps above";
  // What the victim made is closed to everyone else.
  struct stat st {};
  ASSERT_EQ(stat(folder_.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, victim_);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(ReadAll(prefix + "m.Local%5CVantel"), std::string(512, 'F'));
  close(block);
  close(lock);
  unlink((prefix + "lock").c_str());
  unlink((prefix + "m.Local%5CVantel").c_str());
}

TEST_F(ObjectIsolationTest, AFolderMadeByAnotherUserIsRefusedNotAdopted) {
  // The attacker gets there first, with everything a bus would look for.
  ASSERT_EQ(RunAs(attacker_,
                  [this] {
                    if (mkdir(folder_.c_str(), 0777) != 0 || chmod(folder_.c_str(), 0777) != 0) {
                      return 1;
                    }
                    const std::string forged(512, 'F');
                    for (const char* file :
                         {"lock", "m.Local%5CVantel", "x.Local%5CVantel", "e.Local%5CVantel"}) {
                      const int fd = Plant(folder_ + "/" + file, attacker_, 0666, forged);
                      if (fd < 0) return 2;
                      close(fd);
                    }
                    return 0;
                  }),
            0);
  EXPECT_EQ(RunAs(victim_, [] { return EveryKindRefused(kBus); }), 0);
  EXPECT_EQ(ReadAll(folder_ + "/m.Local%5CVantel"), std::string(512, 'F'));
  struct stat st {};
  ASSERT_EQ(stat(folder_.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, attacker_);
}

// Another user's folder in place of the victim's in /dev/shm is named with its owner
// in the errors; a runtime folder of the victim's own then holds the objects instead,
// but only one that nobody else may enter.
TEST_F(ObjectIsolationTest, TheUsersRuntimeFolderServesWhenSharedMemoryIsSquatted) {
  if (!std::filesystem::is_directory("/run/user")) GTEST_SKIP() << "no /run/user";
  ASSERT_EQ(RunAs(attacker_, [this] { return mkdir(folder_.c_str(), 0777); }), 0);
  const std::string folder = folder_, owner = "(uid " + std::to_string(attacker_) + ")";
  EXPECT_EQ(RunAs(victim_,
                  [&] {
                    const std::string problem = SharedObjectsProblem();
                    if (problem.find(folder) != 0 || problem.find(owner) == std::string::npos) {
                      return 1;
                    }
                    return EveryKindRefused(kBus) == 0 ? 0 : 2;
                  }),
            0);
  const std::string runtime = "/run/user/" + std::to_string(victim_);
  ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
  extra_.push_back(runtime);
  ASSERT_EQ(chown(runtime.c_str(), victim_, victim_), 0);
  const auto made_in_runtime = [&] {
    bool existed = false;
    MappingObject* mapping = CreateMapping(kBus, 512, nullptr, &existed);
    if (mapping == nullptr) return 1;
    struct stat st {};
    const bool there = stat((runtime + "/orvex/m.Local%5CVantel").c_str(), &st) == 0;
    CloseMapping(mapping);
    return there && SharedObjectsProblem().empty() ? 0 : 2;
  };
  EXPECT_EQ(RunAs(victim_, made_in_runtime), 0);
  // Open to others, the runtime folder is passed over: /dev/shm again, still refused.
  ASSERT_EQ(chmod(runtime.c_str(), 0755), 0);
  EXPECT_EQ(RunAs(victim_, [] { return EveryKindRefused(kBus); }), 0);
}

TEST_F(ObjectIsolationTest, TheUsersOwnFolderMustBeClosedToWriters) {
  ASSERT_EQ(mkdir(folder_.c_str(), 0700), 0);
  ASSERT_EQ(chown(folder_.c_str(), victim_, victim_), 0);
  ASSERT_EQ(chmod(folder_.c_str(), 0777), 0);  // others could have planted files
  EXPECT_EQ(RunAs(victim_, [] { return EveryKindRefused(kBus); }), 0);
  ASSERT_EQ(chmod(folder_.c_str(), 0730), 0);  // writable by the group: the same
  EXPECT_EQ(RunAs(victim_, [] { return EveryKindRefused(kBus); }), 0);
  // Readable by others but closed to writers: narrowed to 0700 and used.
  ASSERT_EQ(chmod(folder_.c_str(), 0755), 0);
  EXPECT_EQ(RunAs(victim_,
                  [] {
                    bool existed = true;
                    MappingObject* mapping = CreateMapping(kBus, 512, nullptr, &existed);
                    if (mapping == nullptr || existed) return 1;
                    CloseMapping(mapping);
                    return 0;
                  }),
            0);
  struct stat st {};
  ASSERT_EQ(stat(folder_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // A link in the folder's place is refused even when it leads to the user's own.
  const std::string real = folder_ + ".real";
  ASSERT_EQ(rename(folder_.c_str(), real.c_str()), 0);
  ASSERT_EQ(symlink(real.c_str(), folder_.c_str()), 0);
  EXPECT_EQ(RunAs(victim_, [] { return EveryKindRefused(kBus); }), 0);
  unlink(folder_.c_str());
  std::error_code ignored;
  std::filesystem::remove_all(real, ignored);
}

TEST_F(ObjectIsolationTest, FilesThatAreNotTheUsersOwnAreRefused) {
  ASSERT_EQ(
      RunAs(victim_, [] { return CreateMapping("Local\\Made", 64, nullptr, nullptr) ? 0 : 1; }),
      0);  // the folder exists now, the victim's own
  const std::string forged(64, 'F');
  struct Case {
    const char* file;  // the mapping file of "Local\\<name>"
    uid_t owner;
    mode_t mode;
  } cases[] = {{"m.Local%5CForeign", attacker_, 0600},
               {"m.Local%5CLoose", victim_, 0644},
               {"m.Local%5CShared", victim_, 0660}};
  for (const Case& c : cases) {
    const int fd = Plant(folder_ + "/" + c.file, c.owner, c.mode, forged);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_SH), 0);  // held: not a stale leftover
  }
  const int target = Plant(folder_ + "/target", victim_, 0600, forged);
  ASSERT_GE(target, 0);
  ASSERT_EQ(flock(target, LOCK_SH), 0);
  ASSERT_EQ(symlink("target", (folder_ + "/m.Local%5CLinked").c_str()), 0);
  const int code = RunAs(victim_, [] {
    for (const char* name : {"Local\\Foreign", "Local\\Loose", "Local\\Shared", "Local\\Linked"}) {
      bool existed = false;
      if (CreateMapping(name, 64, nullptr, &existed) != nullptr) return 1;
      if (OpenMapping(name) != nullptr) return 2;
    }
    return 0;
  });
  EXPECT_EQ(code, 0);
  for (const Case& c : cases) EXPECT_EQ(ReadAll(folder_ + "/" + c.file), forged);
  // A lock file that is not the user's own stops every name operation.
  ASSERT_EQ(unlink((folder_ + "/lock").c_str()), 0);
  close(Plant(folder_ + "/lock", attacker_, 0600, ""));
  EXPECT_EQ(RunAs(victim_, [] { return EveryKindRefused("Local\\Fresh"); }), 0);
}

// Pages are reserved when an object is made: a full file system fails the create, never
// a later write into an object a link already uses.
TEST(ObjectPages, EveryKindHasItsPagesFromTheStart) {
  const std::string folder = "/dev/shm/orvex-" + std::to_string(geteuid());
  const std::string name = "Local\\OrvexPages" + std::to_string(getpid());
  const std::string escaped = "Local%5COrvexPages" + std::to_string(getpid());
  bool existed = false;
  MappingObject* mapping = CreateMapping(name, 1u << 20, nullptr, &existed);
  MutexObject* mutex = CreateNamedMutex(name, nullptr, &existed);
  EventObject* event = CreateNamedEvent(name, nullptr, &existed);
  ASSERT_NE(mapping, nullptr);
  ASSERT_NE(mutex, nullptr);
  ASSERT_NE(event, nullptr);
  for (const auto& [file, size] : {std::pair<std::string, off_t>{"m." + escaped, 1 << 20},
                                   {"x." + escaped, 8},
                                   {"e." + escaped, 8}}) {
    struct stat st {};
    ASSERT_EQ(stat((folder + "/" + file).c_str(), &st), 0) << file;
    EXPECT_EQ(st.st_size, size) << file;
    EXPECT_GE(static_cast<off_t>(st.st_blocks) * 512, size) << file;
  }
  CloseMapping(mapping);
  CloseMutex(mutex);
  CloseEvent(event);
}

}  // namespace
}  // namespace orvex::platform::posix
