#pragma once
#include <cstddef>
#include <cstdint>

#include "protocol/message_codes.h"
#include "threading/critical_section.h"

namespace orvex {

// One 128-byte message waiting for room in a classic link, with its queue link.
struct SpareBlock {
  SpareBlock* next = nullptr;
  uint8_t data[kClassicSlotSize];
};

// The process-wide free list of spare blocks, created on first use and kept for the
// life of the process. Any thread; its own lock. At most kMaxFree blocks are kept
// free, so a burst does not hold its memory for ever.
class SpareBlockPool {
 public:
  static constexpr size_t kMaxFree = 4096;

  static SpareBlockPool& Instance();
  // A block (from the free list or new); allocation failure throws.
  SpareBlock* Take();
  // Returns a block taken from this pool.
  void Give(SpareBlock* block);
  size_t free_count();

 private:
  SpareBlockPool() = default;
  SfCriticalSection lock_;
  SpareBlock* free_ = nullptr;
  size_t free_count_ = 0;
};

}  // namespace orvex
