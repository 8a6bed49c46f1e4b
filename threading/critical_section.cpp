#include "threading/critical_section.h"

#include <chrono>
#include <cstdio>
#include <set>

#include "platform/thread.h"
#include "platform/timed_lock.h"

namespace orvex {
namespace {

// Every live lock, so the holds of a thread ended by force can be found. Timed: a
// thread stopped while it built or freed a lock leaves this held, and a forced stop
// must not then wait for ever.
platform::TimedLock& RegistryLock() {
  static auto* lock = new platform::TimedLock;
  return *lock;
}
std::set<SfCriticalSection*>& Registry() {
  static auto* registry = new std::set<SfCriticalSection*>;
  return *registry;
}
constexpr auto kRegistryWait = std::chrono::milliseconds(500);

}  // namespace

SfCriticalSection::SfCriticalSection() {
  RegistryLock().Enter();
  Registry().insert(this);
  RegistryLock().Leave();
}

SfCriticalSection::~SfCriticalSection() {
  RegistryLock().Enter();
  Registry().erase(this);
  RegistryLock().Leave();
}

size_t SfCriticalSection::ForsakeAllHeldBy(uint32_t thread_id) {
  if (thread_id == 0 ||
      !RegistryLock().EnterBy(platform::TimedLock::Clock::now() + kRegistryWait)) {
    return 0;
  }
  size_t forsaken = 0;
  for (SfCriticalSection* lock : Registry()) {
    if (lock->count() > 0 && lock->owner() == thread_id && !lock->forsaken()) {
      lock->forsaken_.store(true, std::memory_order_release);
      ++forsaken;
    }
  }
  RegistryLock().Leave();
  return forsaken;
}

void SfCriticalSection::Enter() {
  if (forsaken()) return;
  section_.lock();
  owner_.store(platform::CurrentThreadId(), std::memory_order_relaxed);
  // Only the holder changes the count: no locked read-modify-write needed.
  count_.store(count_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

void SfCriticalSection::Leave() {
  if (forsaken()) return;
  count_.store(count_.load(std::memory_order_relaxed) - 1, std::memory_order_relaxed);
  section_.unlock();
}

bool SfCriticalSection::ReleaseAll() {
  if (forsaken()) return false;
  if (count() == 0) {
    // A windowed program has no standard error: the diagnostic is then lost.
    std::fputs("\nNot locked\n", stderr);
    std::fflush(stderr);
    return false;
  }
  if (owner() != platform::CurrentThreadId()) return false;
  while (count() > 0) Leave();
  return true;
}

}  // namespace orvex
