#pragma once
#include <cstdint>

namespace orvex::platform {

// Waits "without limit" when passed as a time-out.
inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// Milliseconds since an arbitrary start, truncated to 32 bits: wraps after about 49.7
// days, so durations are differences computed in unsigned arithmetic. Any thread.
uint32_t TickCount();

// Suspends the calling thread for about `ms` milliseconds (0 yields).
void SleepMs(uint32_t ms);

}  // namespace orvex::platform
