#include "platform/clock.h"
#include "platform/test_hooks.h"

#include <time.h>

#include <atomic>

namespace orvex::platform {
namespace {
std::atomic<uint32_t> g_tick_offset{0};
}  // namespace

uint32_t TickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + ts.tv_nsec / 1000000;
  return static_cast<uint32_t>(ms) + g_tick_offset.load(std::memory_order_relaxed);
}

void SetTickOffsetForTesting(uint32_t offset) {
  g_tick_offset.store(offset, std::memory_order_relaxed);
}

void SleepMs(uint32_t ms) {
  if (ms == 0) {
    sched_yield();
    return;
  }
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

}  // namespace orvex::platform
