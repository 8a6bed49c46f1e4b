#pragma once
// The word behind every POSIX event: bit 0 is the signalled state, the bits above
// count the Set calls. A waiter sleeps on the futex while the word is unchanged, and
// a waiter that slept through a Set sees the count move even if a Reset followed,
// so it is released as a Windows waiter would be.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/event.h"

namespace orvex::platform::posix {

struct FutexEvent {
  std::atomic<uint32_t> word{0};
  // Threads inside WaitFutexEvent: a Set with nobody waiting skips the wake call.
  std::atomic<uint32_t> waiters{0};
};

void SetFutexEvent(FutexEvent* event);
void ResetFutexEvent(FutexEvent* event);
WaitResult WaitFutexEvent(FutexEvent* event, uint32_t timeout_ms);
// Waits until any of `count` events is signalled or was set during the wait: its index,
// -1 on time-out, -2 when `count` is 0 or above the kernel's limit of 128.
int WaitAnyFutexEvent(FutexEvent* const* events, size_t count, uint32_t timeout_ms);

// Sleeps while `*word` equals `expected`, at most `timeout_ms` (kInfinite: no limit);
// shared between processes. Returns early on any wake, change or signal.
void FutexWaitShared(std::atomic<uint32_t>* word, uint32_t expected, uint32_t timeout_ms);
// Wakes every thread of any process sleeping on `word`.
void FutexWakeAllShared(std::atomic<uint32_t>* word);

}  // namespace orvex::platform::posix
