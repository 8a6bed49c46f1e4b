// A peer of the same user may do to the object files whatever the user may: shrink them
// while they are mapped, or hold the folder's lock file for ever. Neither may crash or
// freeze the process that holds the objects.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <string>

#include "named_object.h"
#include "platform/event.h"
#include "platform/named_mapping.h"
#include "platform/named_mutex.h"
#include "tests/support/child_process.h"

namespace orvex::platform::posix {
namespace {

using test::UniqueName;

// Shrinks the object file behind `name` to `size` bytes, as a peer would.
void Shrink(ObjectKind kind, const std::string& name, off_t size) {
  const std::string path = ObjectFolder() + "/" + ObjectFileName(kind, name);
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(ftruncate(fd, size), 0);
  close(fd);
}

TEST(ShrunkObjectTest, AViewOfAShrunkMappingReadsZerosAndIsReportedLost) {
  const std::string name = UniqueName("Local\\OrvexShrink");
  const std::string other_name = UniqueName("Local\\OrvexKeep");
  bool existed = false;
  MappingObject* mapping = CreateMapping(name, 65536, nullptr, &existed);
  MappingObject* other = CreateMapping(other_name, 4096, nullptr, &existed);
  ASSERT_NE(mapping, nullptr);
  ASSERT_NE(other, nullptr);
  MappingView view = MapView(mapping, 0);
  MappingView second = MapView(mapping, 0);  // a second view of the same object
  MappingView kept = MapView(other, 0);
  ASSERT_NE(view.base, nullptr);
  auto* bytes = static_cast<volatile uint8_t*>(view.base);
  auto* kept_bytes = static_cast<volatile uint8_t*>(kept.base);
  bytes[0] = 7;
  bytes[40000] = 9;
  kept_bytes[100] = 5;
  EXPECT_FALSE(ViewLost(view));

  Shrink(ObjectKind::kMapping, name, 4096);
  // Beyond the new end: the process lives on and sees zeros; writes go nowhere.
  EXPECT_EQ(bytes[40000], 0);
  bytes[50000] = 1;
  EXPECT_TRUE(ViewLost(view));
  // Every view is replaced whole, also the page that still exists.
  EXPECT_EQ(bytes[0], 0);
  EXPECT_FALSE(ViewLost(second));  // not touched yet
  EXPECT_EQ(static_cast<volatile uint8_t*>(second.base)[60000], 0);
  EXPECT_TRUE(ViewLost(second));
  // Unrelated views are untouched.
  EXPECT_FALSE(ViewLost(kept));
  EXPECT_EQ(kept_bytes[100], 5);

  UnmapView(view);
  UnmapView(second);
  UnmapView(kept);
  CloseMapping(mapping);
  CloseMapping(other);
  // A new view at the same address is not taken for the lost one.
  MappingObject* again = CreateMapping(UniqueName("Local\\OrvexAgain"), 65536, nullptr, &existed);
  MappingView fresh = MapView(again, 0);
  EXPECT_FALSE(ViewLost(fresh));
  UnmapView(fresh);
  CloseMapping(again);
}

TEST(ShrunkObjectTest, MutexesAndEventsWhoseFilesWereShrunkStillWork) {
  const std::string name = UniqueName("Local\\OrvexShrinkSync");
  bool existed = false;
  MutexObject* mutex = CreateNamedMutex(name, nullptr, &existed);
  EventObject* event = CreateNamedEvent(name, nullptr, &existed);
  MutexObject* second = OpenNamedMutex(name);
  ASSERT_NE(mutex, nullptr);
  ASSERT_NE(second, nullptr);
  ASSERT_NE(event, nullptr);
  Shrink(ObjectKind::kMutex, name, 0);
  Shrink(ObjectKind::kEvent, name, 0);
  // The kernel lock still decides who holds the mutex.
  EXPECT_EQ(LockMutex(mutex, 1000), LockResult::kAcquired);
  // Too small to be a mutex: no new handle is given out.
  EXPECT_EQ(OpenNamedMutex(name), nullptr);
  auto other_thread = std::async(std::launch::async, [&] { return LockMutex(second, 50); });
  EXPECT_EQ(other_thread.get(), LockResult::kTimedOut);
  EXPECT_TRUE(UnlockMutex(mutex));
  // The event keeps its state within this process; waits end on time.
  SetEvent(event);
  EXPECT_EQ(WaitEvent(event, 0), WaitResult::kSignalled);
  ResetEvent(event);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitEvent(event, 30), WaitResult::kTimedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  CloseMutex(second);
  CloseMutex(mutex);
  CloseEvent(event);
}

TEST(ShrunkObjectTest, AFaultOutsideEveryObjectStillEndsTheProcess) {
  // A view made first installs the handler; a fault elsewhere must not be swallowed.
  bool existed = false;
  MappingObject* mapping = CreateMapping(UniqueName("Local\\OrvexAny"), 4096, nullptr, &existed);
  MappingView view = MapView(mapping, 0);
  ASSERT_NE(view.base, nullptr);
  EXPECT_EXIT(
      {
        char path[] = "/tmp/orvex-sigbus-XXXXXX";
        const int fd = mkstemp(path);
        unlink(path);
        if (fd < 0 || ftruncate(fd, 8192) != 0) _exit(2);
        void* raw = mmap(nullptr, 8192, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (raw == MAP_FAILED || ftruncate(fd, 0) != 0) _exit(3);
        static_cast<volatile uint8_t*>(raw)[100] = 1;
        _exit(0);
      },
      testing::KilledBySignal(SIGBUS), "");
  UnmapView(view);
  CloseMapping(mapping);
}

// Holds the folder's lock file as any process of the user can.
class LockFileHolder {
 public:
  LockFileHolder() {
    fd_ = open((ObjectFolder() + "/lock").c_str(), O_RDWR | O_CLOEXEC);
    held_ = fd_ >= 0 && flock(fd_, LOCK_EX) == 0;
  }
  ~LockFileHolder() { Drop(); }
  void Drop() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  bool held() const { return held_; }

 private:
  int fd_ = -1;
  bool held_ = false;
};

TEST(NamespaceLockTest, AHeldLockFileMakesNameOperationsFailInTimeNotHang) {
  using std::chrono::milliseconds;
  using Clock = std::chrono::steady_clock;
  SetNamespaceLockWaitForTesting(300);
  const std::string name = UniqueName("Local\\OrvexHeld");
  bool existed = false;
  MappingObject* before = CreateMapping(name, 4096, nullptr, &existed);  // folder and lock exist
  ASSERT_NE(before, nullptr);
  const std::string late_name = UniqueName("Local\\OrvexLate");
  const std::string closed_while_held_file = ObjectFileName(ObjectKind::kMapping, late_name);
  MappingObject* closed_while_held = CreateMapping(late_name, 4096, nullptr, &existed);
  ASSERT_NE(closed_while_held, nullptr);
  LockFileHolder holder;
  ASSERT_TRUE(holder.held());
  // Run where a hang can be seen and ended: releasing the lock lets it finish.
  auto timed = [](auto operation) {
    return std::async(std::launch::async, [operation] {
      const auto t0 = Clock::now();
      const bool ok = operation();
      return std::make_pair(ok, std::chrono::duration_cast<milliseconds>(Clock::now() - t0));
    });
  };
  auto first = timed([&] { return CreateNamedMutex(name, nullptr, nullptr) != nullptr; });
  if (first.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    holder.Drop();
    first.wait();
    FAIL() << "a create waited for the lock file without limit";
  }
  const auto [created, waited] = first.get();
  EXPECT_FALSE(created);
  EXPECT_GE(waited.count(), 250);
  EXPECT_LT(waited.count(), 5000);
  // While it stays held, further operations give up sooner.
  auto second = timed([&] { return OpenMapping(name) != nullptr; });
  ASSERT_EQ(second.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  const auto [opened, waited_again] = second.get();
  EXPECT_FALSE(opened);
  EXPECT_LT(waited_again.count(), 250);
  // Closing cannot remove the name now; it is removed by the next operation that gets
  // the lock.
  const std::string late_file = ObjectFolder() + "/" + closed_while_held_file;
  CloseMapping(closed_while_held);
  EXPECT_EQ(access(late_file.c_str(), F_OK), 0);
  holder.Drop();
  MappingObject* after = OpenMapping(name);
  EXPECT_NE(access(late_file.c_str(), F_OK), 0);
  EXPECT_NE(after, nullptr);
  CloseMapping(after);
  CloseMapping(before);
  SetNamespaceLockWaitForTesting(1000);
}

// A peer that holds its own object file exclusively (instead of the shared hold every
// holder takes) must not stall whoever opens, creates or sweeps that name: the file
// counts as refused, not as something to wait for, and is left where it is.
TEST(ExclusiveHoldTest, AnObjectHeldExclusivelyIsRefusedAtOnceNotWaitedFor) {
  const std::string name = UniqueName("Local\\OrvexExclusive");
  bool existed = false;
  MappingObject* folder_made =
      CreateMapping(UniqueName("Local\\OrvexAny"), 4096, nullptr, &existed);
  ASSERT_NE(folder_made, nullptr);
  const std::string path = ObjectFolder() + "/" + ObjectFileName(ObjectKind::kMapping, name);
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 4096), 0);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  struct Case {
    const char* what;
    std::function<bool()> operation;  // true: it succeeded
  };
  const Case cases[] = {
      {"open", [&] { return OpenMapping(name) != nullptr; }},
      {"create", [&] { return CreateMapping(name, 4096, nullptr, &existed) != nullptr; }},
      {"sweep",
       [&] {
         SweepStaleObjects();
         return access(path.c_str(), F_OK) != 0;
       }},
  };
  for (const Case& c : cases) {
    auto done = std::async(std::launch::async, c.operation);
    if (done.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      close(fd);  // lets it finish
      done.wait();
      FAIL() << c.what << " waited for an exclusive hold";
    }
    EXPECT_FALSE(done.get()) << c.what;
  }
  EXPECT_EQ(access(path.c_str(), F_OK), 0);
  close(fd);
  unlink(path.c_str());
  CloseMapping(folder_made);
}

}  // namespace
}  // namespace orvex::platform::posix
