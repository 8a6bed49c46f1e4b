#include "platform/clock.h"
#include "platform/test_hooks.h"

#include <windows.h>

#include <atomic>

namespace orvex::platform {
namespace {
std::atomic<uint32_t> g_tick_offset{0};
}  // namespace

uint32_t TickCount() {
  return static_cast<uint32_t>(GetTickCount()) + g_tick_offset.load(std::memory_order_relaxed);
}

void SetTickOffsetForTesting(uint32_t offset) {
  g_tick_offset.store(offset, std::memory_order_relaxed);
}

void SleepMs(uint32_t ms) {
  Sleep(ms);
}

}  // namespace orvex::platform
