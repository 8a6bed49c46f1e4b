#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvex {

// Fixed-size items carved from a few large heap blocks, so the message path allocates
// nothing per message. The first block holds `first_capacity` items, each later one
// twice the last (65534 at most); a free list per block hands freed items out again
// before untouched space. Blocks are released only in bulk: every so many frees the
// pool drops trailing blocks that are entirely free (never block 0). Not thread-safe:
// the owner serialises use.
class SfBlockPool {
 public:
  // Largest item a block can hold: an item and its 4-byte header form a stride of at
  // most 65532 bytes (a multiple of 4 that fits the 16-bit field).
  static constexpr uint32_t kMaxItemSize = 65528;

  SfBlockPool(uint32_t item_size, uint16_t first_capacity);
  ~SfBlockPool();
  SfBlockPool(const SfBlockPool&) = delete;
  SfBlockPool& operator=(const SfBlockPool&) = delete;

  // An item of item_size bytes; null only when no new block can be had.
  void* Allocate();
  // Returns an item. Anything that is not an allocated item of this pool is ignored.
  void Free(void* item);

  size_t block_count() const { return blocks_.size(); }
  uint16_t block_capacity(size_t block) const;
  uint16_t free_items(size_t block) const;

 private:
  struct BlockHeader;
  bool AddBlock();
  void* AllocateFrom(BlockHeader* block);
  void Trim();

  uint32_t item_size_;
  uint16_t first_capacity_;
  std::vector<BlockHeader*> blocks_;
  size_t hint_ = 0;
  uint32_t trim_countdown_;
};

}  // namespace orvex
