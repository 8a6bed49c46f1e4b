#include "futex_event.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/clock.h"

namespace orvex::platform::posix {
namespace {

// Shared (not FUTEX_PRIVATE) operations: the word may live in a mapping of several
// processes.
long FutexWait(std::atomic<uint32_t>* word, uint32_t expected, const timespec* relative) {
  return syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT, expected, relative,
                 nullptr, 0);
}

uint64_t MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + ts.tv_nsec / 1000000;
}

}  // namespace

void FutexWaitShared(std::atomic<uint32_t>* word, uint32_t expected, uint32_t timeout_ms) {
  timespec relative{static_cast<time_t>(timeout_ms / 1000),
                    static_cast<long>(timeout_ms % 1000) * 1000000L};
  FutexWait(word, expected, timeout_ms == kInfinite ? nullptr : &relative);
}

void FutexWakeAllShared(std::atomic<uint32_t>* word) {
  syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

void SetFutexEvent(FutexEvent* event) {
  uint32_t old = event->word.load(std::memory_order_seq_cst);
  do {
    // Already signalled: every waiter has seen or will see the flag.
    if (old & 1u) return;
    // Count the Set and raise the flag in one step.
  } while (!event->word.compare_exchange_weak(old, (old | 1u) + 2u, std::memory_order_seq_cst));
  // A waiter registers before it reads the word, so either it is counted here or it
  // read the new word and does not sleep.
  if (event->waiters.load(std::memory_order_seq_cst) != 0) FutexWakeAllShared(&event->word);
}

void ResetFutexEvent(FutexEvent* event) {
  event->word.fetch_and(~1u, std::memory_order_acq_rel);
}

namespace {

struct WaiterMark {
  FutexEvent* event;
  explicit WaiterMark(FutexEvent* e) : event(e) {
    event->waiters.fetch_add(1, std::memory_order_seq_cst);
  }
  ~WaiterMark() { event->waiters.fetch_sub(1, std::memory_order_seq_cst); }
};

}  // namespace

WaitResult WaitFutexEvent(FutexEvent* event, uint32_t timeout_ms) {
  if (event->word.load(std::memory_order_acquire) & 1u) return WaitResult::kSignalled;
  if (timeout_ms == 0) return WaitResult::kTimedOut;
  WaiterMark mark(event);
  const uint32_t seen = event->word.load(std::memory_order_seq_cst);
  if (seen & 1u) return WaitResult::kSignalled;
  const uint64_t start = MonotonicMs();
  for (;;) {
    timespec relative{};
    timespec* limit = nullptr;
    if (timeout_ms != kInfinite) {
      const uint64_t elapsed = MonotonicMs() - start;
      if (elapsed >= timeout_ms) return WaitResult::kTimedOut;
      const uint64_t left = timeout_ms - elapsed;
      relative.tv_sec = static_cast<time_t>(left / 1000);
      relative.tv_nsec = static_cast<long>(left % 1000) * 1000000L;
      limit = &relative;
    }
    const long rc = FutexWait(&event->word, seen, limit);
    const uint32_t now = event->word.load(std::memory_order_acquire);
    if ((now & ~1u) != (seen & ~1u) || (now & 1u)) return WaitResult::kSignalled;
    if (rc != 0 && errno != EINTR && errno != EAGAIN && errno != ETIMEDOUT) {
      return WaitResult::kFailed;
    }
  }
}

namespace {

#ifndef FUTEX2_SIZE_U32
constexpr uint32_t FUTEX2_SIZE_U32 = 0x02;
#endif

// Every waiter of a multiple wait counts itself on each event, so a Set never skips
// the wake call while one sleeps.
struct WaiterMarks {
  FutexEvent* const* events;
  size_t count;
  WaiterMarks(FutexEvent* const* e, size_t n) : events(e), count(n) {
    for (size_t i = 0; i < count; ++i) events[i]->waiters.fetch_add(1, std::memory_order_seq_cst);
  }
  ~WaiterMarks() {
    for (size_t i = 0; i < count; ++i) events[i]->waiters.fetch_sub(1, std::memory_order_seq_cst);
  }
};

// The first event signalled, or set since `seen` was read; -1 when none.
int FirstMoved(FutexEvent* const* events, size_t count, const uint32_t* seen) {
  for (size_t i = 0; i < count; ++i) {
    const uint32_t now = events[i]->word.load(std::memory_order_acquire);
    if ((now & 1u) || (seen != nullptr && (now & ~1u) != (seen[i] & ~1u))) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace

int WaitAnyFutexEvent(FutexEvent* const* events, size_t count, uint32_t timeout_ms) {
  if (count == 0 || count > FUTEX_WAITV_MAX) return -2;
  int hit = FirstMoved(events, count, nullptr);
  if (hit >= 0 || timeout_ms == 0) return hit;
  WaiterMarks marks(events, count);
  futex_waitv waiters[FUTEX_WAITV_MAX] = {};
  uint32_t seen[FUTEX_WAITV_MAX];
  for (size_t i = 0; i < count; ++i) {
    seen[i] = events[i]->word.load(std::memory_order_seq_cst);
    waiters[i].val = seen[i];
    waiters[i].uaddr = reinterpret_cast<uintptr_t>(&events[i]->word);
    waiters[i].flags = FUTEX2_SIZE_U32;
  }
  hit = FirstMoved(events, count, seen);
  if (hit >= 0) return hit;
  const uint64_t start = MonotonicMs();
  for (;;) {
    timespec deadline{};
    const timespec* limit = nullptr;
    if (timeout_ms != kInfinite) {
      // futex_waitv takes an absolute time on the clock it is given.
      clock_gettime(CLOCK_MONOTONIC, &deadline);
      const uint64_t left = timeout_ms - std::min<uint64_t>(timeout_ms, MonotonicMs() - start);
      deadline.tv_sec += static_cast<time_t>(left / 1000);
      deadline.tv_nsec += static_cast<long>(left % 1000) * 1000000L;
      if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
      }
      limit = &deadline;
    }
    const long rc = syscall(SYS_futex_waitv, waiters, count, 0, limit, CLOCK_MONOTONIC);
    const int err = rc < 0 ? errno : 0;
    hit = FirstMoved(events, count, seen);
    if (hit >= 0) return hit;
    if (timeout_ms != kInfinite && MonotonicMs() - start >= timeout_ms) return -1;
    if (err == ENOSYS) {
      // A kernel older than 5.16: look every millisecond instead.
      timespec nap{0, 1000000L};
      nanosleep(&nap, nullptr);
    } else if (err != 0 && err != EINTR && err != EAGAIN && err != ETIMEDOUT) {
      return -2;
    }
  }
}

}  // namespace orvex::platform::posix
