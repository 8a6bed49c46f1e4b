#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

namespace orvex {

// Recursive in-process lock that remembers its owning thread and recursion depth, so
// a lock taken in one call can be released in a later one (ReleaseAll).
class SfCriticalSection {
 public:
  SfCriticalSection();
  ~SfCriticalSection();
  SfCriticalSection(const SfCriticalSection&) = delete;
  SfCriticalSection& operator=(const SfCriticalSection&) = delete;

  // Blocks until the calling thread holds the lock; re-entry by the holder nests.
  void Enter();
  // Undoes one Enter of the calling thread, which must hold the lock.
  void Leave();
  // Undoes every Enter of the calling thread. False, with "\nNot locked\n" on the
  // standard error stream, when nobody holds the lock; false without output when
  // another thread holds it (which keeps holding it).
  bool ReleaseAll();

  // After `thread_id` was ended by force: every live lock that thread held is forsaken,
  // and Enter and Leave on it do nothing from then on, so the threads that remain never
  // wait for a hold nobody will release. It excludes nothing any more: only for the
  // shutdown that follows a forced stop. Returns how many locks were forsaken; any
  // thread.
  static size_t ForsakeAllHeldBy(uint32_t thread_id);
  bool forsaken() const { return forsaken_.load(std::memory_order_acquire); }

  // Thread id of the last thread that entered (not cleared on leave).
  uint32_t owner() const { return owner_.load(std::memory_order_relaxed); }
  // Recursion depth; 0 when free.
  int32_t count() const { return count_.load(std::memory_order_relaxed); }

 private:
  std::recursive_mutex section_;
  // Changed only by the holder; atomic so other threads may read them.
  std::atomic<uint32_t> owner_{0};
  std::atomic<int32_t> count_{0};
  std::atomic<bool> forsaken_{false};
};

// Holds a lock for a scope: enters on construction (a null lock locks nothing) and
// leaves on destruction unless Release ended the hold before.
class SfScopedLock {
 public:
  explicit SfScopedLock(SfCriticalSection* lock) : lock_(lock) {
    if (lock_ != nullptr) lock_->Enter();
  }
  ~SfScopedLock() { Release(); }
  SfScopedLock(const SfScopedLock&) = delete;
  SfScopedLock& operator=(const SfScopedLock&) = delete;

  void Release() {
    if (lock_ != nullptr) lock_->Leave();
    lock_ = nullptr;
  }

 private:
  SfCriticalSection* lock_;
};

}  // namespace orvex
