#include "transport/block_pool.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace orvex {

struct SfBlockPool::BlockHeader {
  uint32_t total_bytes;
  uint16_t index;
  uint16_t stride;
  uint16_t capacity;
  uint16_t free_items;
  uint16_t carved;     // items ever handed out from untouched space
  uint16_t free_head;  // most recently freed item; == capacity when the list is empty
};

namespace {

// Every item starts with its tag (block index while allocated, next free item while
// free) and its own index.
struct ItemHeader {
  uint16_t tag;
  uint16_t own_index;
};

uint8_t* ItemArea(void* block) {
  return static_cast<uint8_t*>(block) + 16;
}

}  // namespace

SfBlockPool::SfBlockPool(uint32_t item_size, uint16_t first_capacity)
    : item_size_(item_size),
      first_capacity_(first_capacity),
      trim_countdown_(std::max<uint32_t>(first_capacity, 100)) {}

SfBlockPool::~SfBlockPool() {
  for (BlockHeader* block : blocks_) std::free(block);
}

uint16_t SfBlockPool::block_capacity(size_t block) const {
  return blocks_[block]->capacity;
}

uint16_t SfBlockPool::free_items(size_t block) const {
  return blocks_[block]->free_items;
}

bool SfBlockPool::AddBlock() {
  uint32_t capacity = first_capacity_;
  if (!blocks_.empty()) {
    const uint32_t last = blocks_.back()->capacity;
    capacity = last >= 32768 ? 65534 : last * 2;
  }
  uint32_t stride = item_size_ + 4;
  stride = (stride + 3) & ~3u;
  if (item_size_ > kMaxItemSize || stride < 4 || stride > 65534 || capacity < 1 ||
      capacity > 65534 || blocks_.size() >= 65536) {
    return false;
  }
  const size_t bytes = 16 + static_cast<size_t>(capacity) * stride;
  auto* block = static_cast<BlockHeader*>(std::malloc(bytes));
  if (block == nullptr) return false;
  block->total_bytes = static_cast<uint32_t>(bytes);
  block->index = static_cast<uint16_t>(blocks_.size());
  block->stride = static_cast<uint16_t>(stride);
  block->capacity = static_cast<uint16_t>(capacity);
  block->free_items = static_cast<uint16_t>(capacity);
  block->carved = 0;
  block->free_head = static_cast<uint16_t>(capacity);
  blocks_.push_back(block);
  return true;
}

void* SfBlockPool::AllocateFrom(BlockHeader* block) {
  if (block->free_items == 0) return nullptr;
  uint8_t* item;
  if (block->free_head < block->capacity) {
    item = ItemArea(block) + static_cast<size_t>(block->free_head) * block->stride;
    auto* header = reinterpret_cast<ItemHeader*>(item);
    block->free_head = header->tag;
    header->tag = block->index;
  } else if (block->carved < block->capacity) {
    item = ItemArea(block) + static_cast<size_t>(block->carved) * block->stride;
    auto* header = reinterpret_cast<ItemHeader*>(item);
    header->tag = block->index;
    header->own_index = block->carved;
    std::memset(item + sizeof(ItemHeader), 0, 4);
    ++block->carved;
  } else {
    return nullptr;
  }
  --block->free_items;
  return item + sizeof(ItemHeader);
}

void* SfBlockPool::Allocate() {
  if (hint_ == blocks_.size() && !AddBlock()) return nullptr;
  if (void* item = AllocateFrom(blocks_[hint_])) return item;
  for (size_t i = 0;; ++i) {
    if (i == blocks_.size() && !AddBlock()) return nullptr;
    if (void* item = AllocateFrom(blocks_[i])) {
      hint_ = i;
      return item;
    }
  }
}

void SfBlockPool::Free(void* payload) {
  if (payload == nullptr) return;
  uint8_t* item = static_cast<uint8_t*>(payload) - sizeof(ItemHeader);
  auto* header = reinterpret_cast<ItemHeader*>(item);
  if (header->tag >= blocks_.size()) return;
  BlockHeader* block = blocks_[header->tag];
  const uint8_t* area = ItemArea(block);
  const size_t area_bytes = static_cast<size_t>(block->capacity) * block->stride;
  if (item < area || item >= area + area_bytes ||
      static_cast<size_t>(item - area) % block->stride != 0 ||
      block->free_items >= block->capacity || header->tag != block->index) {
    return;
  }
  header->tag = block->free_head;
  block->free_head = header->own_index;
  ++block->free_items;
  if (trim_countdown_ == 0) {
    Trim();
  } else {
    --trim_countdown_;
  }
}

void SfBlockPool::Trim() {
  while (blocks_.size() > 1 && blocks_.back()->free_items == blocks_.back()->capacity) {
    std::free(blocks_.back());
    blocks_.pop_back();
  }
  if (hint_ >= blocks_.size()) hint_ = 0;
  trim_countdown_ = std::max<uint32_t>(first_capacity_, 100);
}

}  // namespace orvex
