// The named mutex against peers that write its shared bytes, a client in another
// language that follows the documented lock protocol, and the threads of one process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/futex.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/named_mutex.h"
#include "platform/process.h"
#include "tests/support/child_process.h"

namespace orvex::platform {
namespace {

using test::UniqueName;

// Test names hold letters, digits, '_' and one backslash.
std::string Escaped(const std::string& name) {
  std::string out;
  for (const char c : name) out += c == '\\' ? std::string("%5C") : std::string(1, c);
  return out;
}

// The mutex's file as a peer finds it: whatever /dev/shm entry carries its name.
std::string FindObjectFile(const std::string& name) {
  const std::string tail = "x." + Escaped(name);
  std::error_code error;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(
           "/dev/shm", std::filesystem::directory_options::skip_permission_denied, error)) {
    const std::string file = entry.path().filename().string();
    if (file.size() >= tail.size() &&
        file.compare(file.size() - tail.size(), tail.size(), tail) == 0) {
      return entry.path().string();
    }
  }
  return {};
}

// The path the documentation gives a third-party client.
std::string DocumentedPath(const std::string& name) {
  return "/dev/shm/orvex-" + std::to_string(geteuid()) + "/x." + Escaped(name);
}

// Exit codes of the probe: 0 acquired (and released), 1 abandoned, 2 timed out,
// 3 failed, 4 no such mutex.
ORVEX_CHILD_ROLE(try_lock) {
  MutexObject* mutex = OpenNamedMutex(args[0]);
  if (mutex == nullptr) return 4;
  const LockResult result = LockMutex(mutex, static_cast<uint32_t>(std::stoul(args[1])));
  if (result == LockResult::kAcquired || result == LockResult::kAbandoned) UnlockMutex(mutex);
  CloseMutex(mutex);
  switch (result) {
    case LockResult::kAcquired:
      return 0;
    case LockResult::kAbandoned:
      return 1;
    case LockResult::kTimedOut:
      return 2;
    default:
      return 3;
  }
}

TEST(NamedMutexPeerTest, APeerWritingTheSharedBytesCannotBreakTheMutex) {
  const std::string name = UniqueName("Local\\OrvexScribbled");
  MutexObject* mutex = CreateNamedMutex(name, nullptr, nullptr);
  ASSERT_NE(mutex, nullptr);
  ASSERT_EQ(LockMutex(mutex, 0), LockResult::kAcquired);
  const std::string path = FindObjectFile(name);
  ASSERT_FALSE(path.empty());
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  struct stat st {};
  ASSERT_EQ(fstat(fd, &st), 0);
  const size_t size = static_cast<size_t>(st.st_size);
  auto* bytes =
      static_cast<uint8_t*>(mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
  ASSERT_NE(bytes, MAP_FAILED);
  std::mt19937 random(7);
  std::vector<uint8_t> noise(size);
  for (auto& b : noise) b = static_cast<uint8_t>(random());
  const std::vector<std::vector<uint8_t>> patterns = {std::vector<uint8_t>(size, 0xFF),
                                                      std::vector<uint8_t>(size, 0x00),
                                                      std::vector<uint8_t>(size, 0x80), noise};
  for (size_t i = 0; i < patterns.size(); ++i) {
    SCOPED_TRACE("pattern " + std::to_string(i));
    std::memcpy(bytes, patterns[i].data(), size);
    EXPECT_EQ(test::RunChild("try_lock", {name, "0"}), 2);  // still ours
    EXPECT_TRUE(UnlockMutex(mutex));
    std::memcpy(bytes, patterns[i].data(), size);
    const int probe = test::RunChild("try_lock", {name, "2000"});
    EXPECT_TRUE(probe == 0 || probe == 1) << probe;  // free for another process
    const LockResult again = LockMutex(mutex, 2000);
    EXPECT_TRUE(again == LockResult::kAcquired || again == LockResult::kAbandoned);
  }
  munmap(bytes, size);
  close(fd);
  UnlockMutex(mutex);
  CloseMutex(mutex);
}

// Address ranges of this process, from /proc/self/maps.
std::vector<std::pair<uint64_t, uint64_t>> MappedRanges() {
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    uint64_t from = 0, to = 0;
    char dash = 0;
    std::istringstream(line) >> std::hex >> from >> dash >> to;
    ranges.emplace_back(from, to);
  }
  return ranges;
}

TEST(NamedMutexPeerTest, TheSharedBytesHoldNoAddressOfTheHolder) {
  const std::string name = UniqueName("Local\\OrvexLeak");
  MutexObject* mutex = CreateNamedMutex(name, nullptr, nullptr);
  ASSERT_NE(mutex, nullptr);
  std::atomic<bool> checked{false};
  // Held by a second thread too: its bookkeeping must not show either.
  std::thread holder([&] {
    ASSERT_EQ(LockMutex(mutex, 0), LockResult::kAcquired);
    while (!checked.load()) SleepMs(1);
    UnlockMutex(mutex);
  });
  while (FindObjectFile(name).empty()) SleepMs(1);
  SleepMs(20);
  std::ifstream file(FindObjectFile(name), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const auto ranges = MappedRanges();
  ASSERT_FALSE(ranges.empty());
  for (size_t offset = 0; offset + 8 <= bytes.size(); offset += 4) {
    uint64_t word = 0;
    std::memcpy(&word, bytes.data() + offset, 8);
    for (const auto& [from, to] : ranges) {
      EXPECT_FALSE(word >= from && word < to)
          << "offset " << offset << " holds 0x" << std::hex << word;
    }
  }
  checked.store(true);
  holder.join();
  CloseMutex(mutex);
}

// A client in another language, written from the documentation alone: the lock file
// around the open, a shared flock for the object's lifetime, the OFD lock for the mutex.
int OpenAsDocumented(const std::string& name) {
  const std::string folder = "/dev/shm/orvex-" + std::to_string(geteuid());
  const int lock = open((folder + "/lock").c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
  if (lock < 0 || flock(lock, LOCK_EX) != 0) return -1;
  const int fd = open(DocumentedPath(name).c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat st {};
  const bool ok = fd >= 0 && fstat(fd, &st) == 0 && st.st_uid == geteuid() &&
                  (st.st_mode & 07777) == 0600 && flock(fd, LOCK_SH) == 0;
  close(lock);
  return ok ? fd : -1;
}

bool OfdLock(int fd, short type) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  return fcntl(fd, F_OFD_SETLK, &range) == 0;
}

// Acquires by the documented loop; true when the acquisition was not abandoned.
bool AcquireAsDocumented(int fd, uint32_t* words) {
  auto* owner = reinterpret_cast<std::atomic<uint32_t>*>(&words[0]);
  auto* wake = reinterpret_cast<std::atomic<uint32_t>*>(&words[1]);
  for (;;) {
    const uint32_t seen = wake->load();
    if (OfdLock(fd, F_WRLCK)) break;
    timespec ten_ms{0, 10 * 1000 * 1000};
    syscall(SYS_futex, &words[1], FUTEX_WAIT, seen, &ten_ms, nullptr, 0);
  }
  return owner->exchange(static_cast<uint32_t>(gettid())) == 0;
}

void ReleaseAsDocumented(int fd, uint32_t* words) {
  reinterpret_cast<std::atomic<uint32_t>*>(&words[0])->store(0);
  OfdLock(fd, F_UNLCK);
  reinterpret_cast<std::atomic<uint32_t>*>(&words[1])->fetch_add(1);
  syscall(SYS_futex, &words[1], FUTEX_WAKE, INT32_MAX, nullptr, nullptr, 0);
}

uint32_t* MapWords(int fd) {
  void* view = mmap(nullptr, 8, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  return view == MAP_FAILED ? nullptr : static_cast<uint32_t*>(view);
}

// args: mutex name, event to set once it holds the mutex. Then waits to be killed.
ORVEX_CHILD_ROLE(documented_holder) {
  const int fd = OpenAsDocumented(args[0]);
  uint32_t* words = fd < 0 ? nullptr : MapWords(fd);
  EventObject* ready = OpenNamedEvent(args[1]);
  if (words == nullptr || ready == nullptr) return 3;
  AcquireAsDocumented(fd, words);
  SetEvent(ready);
  SleepMs(60000);
  return 0;
}

// args: mutex name. Waits for the mutex, holds it briefly, releases it; 0 when it got
// it cleanly.
ORVEX_CHILD_ROLE(documented_cycle) {
  const int fd = OpenAsDocumented(args[0]);
  uint32_t* words = fd < 0 ? nullptr : MapWords(fd);
  if (words == nullptr) return 3;
  const bool clean = AcquireAsDocumented(fd, words);
  SleepMs(10);
  ReleaseAsDocumented(fd, words);
  return clean ? 0 : 1;
}

TEST(NamedMutexProtocolTest, AClientFollowingTheDocumentationTakesPart) {
  const std::string name = UniqueName("Local\\OrvexDocumented");
  MutexObject* mutex = CreateNamedMutex(name, nullptr, nullptr);
  ASSERT_NE(mutex, nullptr);
  // Its holding keeps us out; its death leaves the mutex abandoned.
  const std::string ready_name = UniqueName("Local\\OrvexDocumentedReady");
  EventObject* ready = CreateNamedEvent(ready_name, nullptr, nullptr);
  ASSERT_NE(ready, nullptr);
  ProcessObject* holder = test::SpawnChild("documented_holder", {name, ready_name});
  ASSERT_NE(holder, nullptr);
  ASSERT_EQ(WaitEvent(ready, 20000), WaitResult::kSignalled);
  EXPECT_EQ(LockMutex(mutex, 50), LockResult::kTimedOut);
  EXPECT_TRUE(KillProcess(holder));
  CloseProcess(holder);
  EXPECT_EQ(LockMutex(mutex, 5000), LockResult::kAbandoned);
  // It waits while we hold the mutex and takes it cleanly once we release it.
  ProcessObject* cycle = test::SpawnChild("documented_cycle", {name});
  ASSERT_NE(cycle, nullptr);
  SleepMs(100);
  EXPECT_TRUE(UnlockMutex(mutex));
  int code = -1;
  EXPECT_TRUE(WaitProcess(cycle, 20000, &code));
  EXPECT_EQ(code, 0);
  CloseProcess(cycle);
  EXPECT_EQ(LockMutex(mutex, 0), LockResult::kAcquired);  // released cleanly: not abandoned
  UnlockMutex(mutex);
  CloseEvent(ready);
  CloseMutex(mutex);
}

TEST(NamedMutexThreadsTest, OwnershipIsTheThreadsWhicheverHandleItUses) {
  const std::string name = UniqueName("Local\\OrvexThreads");
  MutexObject* first = CreateNamedMutex(name, nullptr, nullptr);
  MutexObject* second = OpenNamedMutex(name);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  ASSERT_EQ(LockMutex(first, 0), LockResult::kAcquired);
  EXPECT_EQ(LockMutex(second, 0), LockResult::kAcquired);  // recursion through another handle
  std::thread sibling([&] {
    EXPECT_EQ(LockMutex(first, 0), LockResult::kTimedOut);
    EXPECT_EQ(LockMutex(second, 50), LockResult::kTimedOut);
    EXPECT_FALSE(UnlockMutex(first));  // not the owner
  });
  sibling.join();
  EXPECT_TRUE(UnlockMutex(second));
  EXPECT_EQ(test::RunChild("try_lock", {name, "0"}), 2);  // one level still held
  // Closing a handle keeps the thread's ownership; the other handle releases it.
  CloseMutex(first);
  EXPECT_TRUE(UnlockMutex(second));
  EXPECT_FALSE(UnlockMutex(second));
  EXPECT_EQ(test::RunChild("try_lock", {name, "2000"}), 0);

  // A waiting sibling gets the mutex as soon as the owner releases it.
  ASSERT_EQ(LockMutex(second, 0), LockResult::kAcquired);
  std::atomic<bool> got{false};
  std::thread waiter([&] {
    EXPECT_EQ(LockMutex(second, 20000), LockResult::kAcquired);
    got.store(true);
    EXPECT_TRUE(UnlockMutex(second));
  });
  SleepMs(50);
  EXPECT_FALSE(got.load());
  EXPECT_TRUE(UnlockMutex(second));
  waiter.join();
  EXPECT_TRUE(got.load());

  // A thread that ends owning the mutex abandons it, to its siblings and to others.
  std::thread quitter([&] { EXPECT_EQ(LockMutex(second, 0), LockResult::kAcquired); });
  quitter.join();
  EXPECT_EQ(LockMutex(second, 2000), LockResult::kAbandoned);
  EXPECT_TRUE(UnlockMutex(second));
  std::thread quitter_again([&] { EXPECT_EQ(LockMutex(second, 0), LockResult::kAcquired); });
  quitter_again.join();
  EXPECT_EQ(test::RunChild("try_lock", {name, "2000"}), 1);
  CloseMutex(second);
}

}  // namespace
}  // namespace orvex::platform
