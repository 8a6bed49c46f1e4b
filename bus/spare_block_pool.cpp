#include "bus/spare_block_pool.h"

namespace orvex {

SpareBlockPool& SpareBlockPool::Instance() {
  static SpareBlockPool* pool = new SpareBlockPool();  // lives until the process ends
  return *pool;
}

SpareBlock* SpareBlockPool::Take() {
  {
    SfScopedLock hold(&lock_);
    if (free_ != nullptr) {
      SpareBlock* block = free_;
      free_ = block->next;
      --free_count_;
      block->next = nullptr;
      return block;
    }
  }
  return new SpareBlock();
}

void SpareBlockPool::Give(SpareBlock* block) {
  if (block == nullptr) return;
  {
    SfScopedLock hold(&lock_);
    if (free_count_ < kMaxFree) {
      block->next = free_;
      free_ = block;
      ++free_count_;
      return;
    }
  }
  delete block;
}

size_t SpareBlockPool::free_count() {
  SfScopedLock hold(&lock_);
  return free_count_;
}

}  // namespace orvex
