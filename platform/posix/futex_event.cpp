#include "futex_event.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

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

}  // namespace orvex::platform::posix
