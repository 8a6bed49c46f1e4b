#include "platform/named_mutex.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "futex_event.h"
#include "named_object.h"
#include "platform/clock.h"
#include "shared_views.h"

namespace orvex::platform {
namespace {

// The words in the shared object. Any peer may write anything here, so they decide
// nothing: the lock itself is an exclusive OFD lock the kernel keeps on the file and
// drops when its holder ends. The words only report abandonment and wake waiters.
struct SharedWords {
  std::atomic<uint32_t> owner;  // thread id of the holder; 0 once released
  std::atomic<uint32_t> wake;   // counts releases; waiters sleep on it
};

// A killed holder wakes nobody (and a peer may keep waking us): waiters look at the
// lock again at least this often.
constexpr uint32_t kPollMs = 10;

// One per object file and process. The kernel lock belongs to an open file
// description, which every thread of the process shares, so ownership by a thread,
// its recursion and the waits of sibling threads are kept here.
struct LocalMutex {
  int lock_fd = -1;  // this process's description of the file that takes the lock
  SharedWords* words = nullptr;
  int handles = 0;      // MutexObjects attached
  pid_t owner = 0;      // thread owning (or acquiring) it within this process
  uint32_t levels = 0;  // the owner's recursion
  std::condition_variable freed;
};

using FileId = std::pair<dev_t, ino_t>;

// Guards every LocalMutex and the table; never held while waiting for another process.
std::mutex& StateLock() {
  static auto* lock = new std::mutex;
  return *lock;
}

std::map<FileId, LocalMutex*>& Table() {
  static auto* table = new std::map<FileId, LocalMutex*>;
  return *table;
}

pid_t ThisThread() {
  return gettid();
}

bool KernelLock(int fd, short type) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;  // start 0, length 0: the whole file
  return fcntl(fd, F_OFD_SETLK, &range) == 0;
}

// Under StateLock: lets the next holder in. An abandoning release leaves the owner
// word set, which is how the next holder learns of it.
void ReleaseKernelLock(LocalMutex* local, bool abandon) {
  if (!abandon) local->words->owner.store(0);
  KernelLock(local->lock_fd, F_UNLCK);
  local->words->wake.fetch_add(1);
  posix::FutexWakeAllShared(&local->words->wake);
  local->owner = 0;
  local->levels = 0;
  local->freed.notify_all();
}

// Under StateLock.
void FreeIfUnused(LocalMutex* local) {
  if (local->handles > 0 || local->owner != 0) return;
  for (auto it = Table().begin(); it != Table().end(); ++it) {
    if (it->second == local) {
      Table().erase(it);
      break;
    }
  }
  posix::UnmapSharedView(local->words, sizeof(SharedWords));
  close(local->lock_fd);
  delete local;
}

// What the calling thread owns. A thread that ends owning a mutex abandons it, as on
// Windows; this also covers threads stopped by cancellation.
struct OwnedByThread {
  std::vector<LocalMutex*> mutexes;
  ~OwnedByThread() {
    std::lock_guard<std::mutex> guard(StateLock());
    const pid_t self = ThisThread();
    for (LocalMutex* local : mutexes) {
      if (local->owner != self) continue;
      ReleaseKernelLock(local, true);
      FreeIfUnused(local);
    }
  }
};

std::vector<LocalMutex*>& OwnedList() {
  thread_local OwnedByThread owned;
  return owned.mutexes;
}

void Forget(LocalMutex* local) {
  auto& owned = OwnedList();
  for (auto it = owned.begin(); it != owned.end(); ++it) {
    if (*it == local) {
      owned.erase(it);
      return;
    }
  }
}

using Clock = std::chrono::steady_clock;

// Milliseconds left before `deadline` (kInfinite without one).
uint32_t Remaining(uint32_t timeout_ms, Clock::time_point deadline) {
  if (timeout_ms == kInfinite) return kInfinite;
  const auto now = Clock::now();
  if (now >= deadline) return 0;
  return static_cast<uint32_t>(
      std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
}

// Takes the kernel lock for a thread that already owns the mutex within this process.
LockResult AcquireAcrossProcesses(LocalMutex* local, uint32_t timeout_ms,
                                  Clock::time_point deadline) {
  for (;;) {
    const uint32_t seen = local->words->wake.load();
    if (KernelLock(local->lock_fd, F_WRLCK)) {
      const uint32_t previous = local->words->owner.exchange(static_cast<uint32_t>(ThisThread()));
      return previous != 0 ? LockResult::kAbandoned : LockResult::kAcquired;
    }
    if (errno != EAGAIN && errno != EACCES && errno != EINTR) return LockResult::kFailed;
    const uint32_t left = Remaining(timeout_ms, deadline);
    if (left == 0) return LockResult::kTimedOut;
    posix::FutexWaitShared(&local->words->wake, seen, left < kPollMs ? left : kPollMs);
  }
}

// Finds or makes this process's state for the object file of `fd`.
LocalMutex* LocalFor(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || static_cast<size_t>(st.st_size) < sizeof(SharedWords)) {
    return nullptr;
  }
  const FileId id{st.st_dev, st.st_ino};
  std::lock_guard<std::mutex> guard(StateLock());
  auto found = Table().find(id);
  if (found != Table().end()) {
    ++found->second->handles;
    return found->second;
  }
  // A description of its own: the handle's descriptor closes with the handle, while
  // the lock may have to outlive it.
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  const int lock_fd = open(self.c_str(), O_RDWR | O_CLOEXEC);
  struct stat again {};
  if (lock_fd < 0 || fstat(lock_fd, &again) != 0 || again.st_ino != st.st_ino ||
      again.st_dev != st.st_dev) {
    if (lock_fd >= 0) close(lock_fd);
    return nullptr;
  }
  // Should a peer shrink the file, the words become private: the kernel lock still
  // decides, only abandonment reports and early wake-ups are lost.
  void* view = posix::MapSharedView(lock_fd, sizeof(SharedWords));
  if (view == nullptr) {
    close(lock_fd);
    return nullptr;
  }
  auto* local = new LocalMutex;
  local->lock_fd = lock_fd;
  local->words = static_cast<SharedWords*>(view);
  local->handles = 1;
  Table().emplace(id, local);
  return local;
}

}  // namespace

struct MutexObject {
  posix::SharedObject object;
  LocalMutex* local = nullptr;
};

static MutexObject* Attach(MutexObject* mutex) {
  mutex->local = LocalFor(mutex->object.fd);
  if (mutex->local == nullptr) {
    posix::Release(&mutex->object);
    delete mutex;
    return nullptr;
  }
  return mutex;
}

MutexObject* CreateNamedMutex(const std::string& name, const SecurityAttributes* /*security*/,
                              bool* already_existed) {
  auto* mutex = new MutexObject;
  bool existed = false;
  // A new object is all zeros: released, nobody waiting.
  if (!posix::CreateOrAttach(posix::ObjectKind::kMutex, name, sizeof(SharedWords), nullptr,
                             &mutex->object, &existed)) {
    delete mutex;
    return nullptr;
  }
  if (already_existed != nullptr) *already_existed = existed;
  return Attach(mutex);
}

MutexObject* OpenNamedMutex(const std::string& name) {
  auto* mutex = new MutexObject;
  if (!posix::OpenExisting(posix::ObjectKind::kMutex, name, &mutex->object)) {
    delete mutex;
    return nullptr;
  }
  return Attach(mutex);
}

LockResult LockMutex(MutexObject* mutex, uint32_t timeout_ms) {
  if (mutex == nullptr) return LockResult::kFailed;
  LocalMutex* local = mutex->local;
  const pid_t self = ThisThread();
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(timeout_ms == kInfinite ? 0 : timeout_ms);
  std::unique_lock<std::mutex> guard(StateLock());
  if (local->owner == self) {
    ++local->levels;
    return LockResult::kAcquired;
  }
  while (local->owner != 0) {
    if (timeout_ms == kInfinite) {
      local->freed.wait(guard);
    } else if (Remaining(timeout_ms, deadline) == 0 ||
               local->freed.wait_until(guard, deadline) == std::cv_status::timeout) {
      if (local->owner != 0) return LockResult::kTimedOut;
    }
  }
  local->owner = self;  // keeps sibling threads out while this one waits for the kernel
  guard.unlock();
  const LockResult result = AcquireAcrossProcesses(local, timeout_ms, deadline);
  guard.lock();
  if (result == LockResult::kAcquired || result == LockResult::kAbandoned) {
    local->levels = 1;
    OwnedList().push_back(local);
  } else {
    local->owner = 0;
    local->freed.notify_all();
  }
  return result;
}

bool UnlockMutex(MutexObject* mutex) {
  if (mutex == nullptr) return false;
  LocalMutex* local = mutex->local;
  std::lock_guard<std::mutex> guard(StateLock());
  if (local->owner != ThisThread() || local->levels == 0) return false;
  if (--local->levels > 0) return true;
  ReleaseKernelLock(local, false);
  Forget(local);
  return true;
}

void CloseMutex(MutexObject* mutex) {
  if (mutex == nullptr) return;
  {
    // Ownership is the thread's, not the handle's: a mutex owned by this thread stays
    // owned (its state kept) until the thread releases it through another handle or
    // ends.
    std::lock_guard<std::mutex> guard(StateLock());
    --mutex->local->handles;
    FreeIfUnused(mutex->local);
  }
  posix::Release(&mutex->object);
  delete mutex;
}

}  // namespace orvex::platform
