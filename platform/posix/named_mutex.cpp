#include "platform/named_mutex.h"

#include <pthread.h>
#include <sys/mman.h>
#include <time.h>

#include <cerrno>
#include <new>

#include "named_object.h"
#include "platform/clock.h"

namespace orvex::platform {
namespace {

// The shared part: a robust, recursive, process-shared mutex. Robustness gives the
// Windows notion of abandonment: the next locker learns that the owner died.
struct SharedMutex {
  pthread_mutex_t mutex;
};

void InitSharedMutex(void* memory) {
  auto* shared = new (memory) SharedMutex;
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&shared->mutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

timespec DeadlineAfter(uint32_t ms) {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  ts.tv_sec += ms / 1000;
  ts.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (ts.tv_nsec >= 1000000000L) {
    ts.tv_sec += 1;
    ts.tv_nsec -= 1000000000L;
  }
  return ts;
}

}  // namespace

struct MutexObject {
  posix::SharedObject object;
  SharedMutex* shared = nullptr;
  int held = 0;  // levels of ownership taken through this object's view
};

static MutexObject* Attach(MutexObject* mutex) {
  void* view =
      mmap(nullptr, sizeof(SharedMutex), PROT_READ | PROT_WRITE, MAP_SHARED, mutex->object.fd, 0);
  if (mutex->object.size < sizeof(SharedMutex) || view == MAP_FAILED) {
    if (view != MAP_FAILED) munmap(view, sizeof(SharedMutex));
    posix::Release(&mutex->object);
    delete mutex;
    return nullptr;
  }
  mutex->shared = static_cast<SharedMutex*>(view);
  return mutex;
}

MutexObject* CreateNamedMutex(const std::string& name, const SecurityAttributes* /*security*/,
                              bool* already_existed) {
  auto* mutex = new MutexObject;
  bool existed = false;
  if (!posix::CreateOrAttach(posix::ObjectKind::kMutex, name, sizeof(SharedMutex), InitSharedMutex,
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
  pthread_mutex_t* m = &mutex->shared->mutex;
  int rc;
  if (timeout_ms == kInfinite) {
    rc = pthread_mutex_lock(m);
  } else if (timeout_ms == 0) {
    rc = pthread_mutex_trylock(m);
  } else {
    const timespec deadline = DeadlineAfter(timeout_ms);
    rc = pthread_mutex_clocklock(m, CLOCK_MONOTONIC, &deadline);
  }
  switch (rc) {
    case 0:
      ++mutex->held;
      return LockResult::kAcquired;
    case EOWNERDEAD:
      pthread_mutex_consistent(m);
      ++mutex->held;
      return LockResult::kAbandoned;
    case EBUSY:
    case ETIMEDOUT:
      return LockResult::kTimedOut;
    default:
      return LockResult::kFailed;
  }
}

bool UnlockMutex(MutexObject* mutex) {
  if (mutex == nullptr || pthread_mutex_unlock(&mutex->shared->mutex) != 0) return false;
  if (mutex->held > 0) --mutex->held;
  return true;
}

void CloseMutex(MutexObject* mutex) {
  if (mutex == nullptr) return;
  // A mutex still owned through this view stays on the thread's robust list, which
  // the kernel walks when the thread ends; unmapping it would leave that list
  // pointing at nothing, so such a view (a page) is kept until the process ends.
  if (mutex->held == 0) munmap(mutex->shared, sizeof(SharedMutex));
  posix::Release(&mutex->object);
  delete mutex;
}

}  // namespace orvex::platform
