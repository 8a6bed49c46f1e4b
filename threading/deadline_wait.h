#pragma once
#include <cstdint>

#include "platform/clock.h"
#include "platform/event.h"
#include "threading/critical_section.h"

namespace orvex {

// Waits on a manual-reset `event` until `ready()` holds or `timeout_ms` has passed
// since the call, and returns the last answer of `ready()`. `ready()` runs with `lock`
// held (when given), right after the event was reset, so a setter that changes the
// state first and signals afterwards can never be missed between test and wait. The
// lock is left while waiting. Durations are unsigned differences of 32-bit ticks, so
// the counter's wrap does not shorten or lengthen the wait.
template <typename Ready>
bool DeadlineWait(SfCriticalSection* lock, platform::EventObject* event, uint32_t timeout_ms,
                  Ready ready) {
  const uint32_t t0 = platform::TickCount();
  SfScopedLock guard(lock);
  for (;;) {
    platform::ResetEvent(event);
    if (ready()) return true;
    const uint32_t elapsed = platform::TickCount() - t0;
    if (elapsed >= timeout_ms) return false;
    if (lock != nullptr) lock->Leave();
    const platform::WaitResult waited = platform::WaitEvent(event, timeout_ms - elapsed);
    if (lock != nullptr) lock->Enter();
    if (waited == platform::WaitResult::kFailed) return ready();
  }
}

}  // namespace orvex
