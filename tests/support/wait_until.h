#pragma once
// Waiting with a bound for what another thread or process does in its own time (a
// window, a line in a log, a bus topic): polls a condition until it holds or the time
// is up, so a test that never sees it fails instead of hanging.
#include <cstdint>

#include "platform/clock.h"

namespace orvex::test {

// Polls `pred` every `poll_ms` until it holds (true) or `timeout_ms` passed (false).
template <typename Pred>
bool WaitUntil(Pred pred, uint32_t timeout_ms = 15000, uint32_t poll_ms = 20) {
  const uint32_t start = platform::TickCount();
  while (!pred()) {
    if (platform::TickCount() - start >= timeout_ms) return false;
    platform::SleepMs(poll_ms);
  }
  return true;
}

}  // namespace orvex::test
