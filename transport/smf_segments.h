#pragma once
#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <memory>
#include <string>

#include "transport/sf_shared_memory.h"

namespace orvex {

// Word access to shared memory a peer process writes concurrently. Every word is
// 4-byte aligned; loads acquire and stores release, so a count published last makes
// the bytes written before it visible to the other side.
namespace shm {
inline std::atomic_ref<uint32_t> Word(uint8_t* base, uint32_t offset) {
  return std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(base + offset));
}
inline uint32_t Load(uint8_t* base, uint32_t offset) {
  return Word(base, offset).load(std::memory_order_acquire);
}
inline void Store(uint8_t* base, uint32_t offset, uint32_t value) {
  Word(base, offset).store(value, std::memory_order_release);
}
}  // namespace shm

// The segments of one direction of a V2 link: segment i (0..15) is the mapping
// base + "." + i of 16384 << i bytes, and slot i only ever holds segment i. Owns the
// mappings; process-local, used by one thread at a time.
class SfSMFSegments {
 public:
  static constexpr uint32_t kClasses = 16;
  static constexpr uint32_t kSmallestSize = 16384;

  // Size in bytes of size class `index` (< kClasses).
  static uint32_t ClassSize(uint32_t index) { return kSmallestSize << index; }

  // Takes a new base name; a different one closes every segment first.
  void SetBase(const std::string& name);
  // Creates (or attaches to) segment `index` when it is in range, its slot is empty and
  // a base is set. The view, or null (the slot then stays empty).
  uint8_t* Create(uint32_t index);
  // As Create, but only opens a segment that already exists. The view is always
  // ClassSize(index) bytes: a smaller object under that name fails to map.
  uint8_t* Open(uint32_t index);
  // Closes segment `index`; out-of-range indexes are ignored.
  void Drop(uint32_t index);
  void CloseAll();

  // True when a segment held here was shrunk by another process (its view lost).
  bool AnyLost() const;
  // View of segment `index`, null when its slot is empty or the index is out of range.
  uint8_t* View(uint32_t index) const;
  // Name of segment `index` under the current base.
  std::string SegmentName(uint32_t index) const { return SegmentName(base_, index); }
  // Name of segment `index` under `base`.
  static std::string SegmentName(const std::string& base, uint32_t index);
  const std::string& base() const { return base_; }
  // Segments mapped here now.
  uint32_t held_count() const { return static_cast<uint32_t>(std::popcount(held_)); }

 private:
  uint8_t* Map(bool create, uint32_t index);

  std::string base_;
  std::array<std::unique_ptr<SfSharedMemory>, kClasses> slots_;
  // Bit i set while slot i holds a segment: AnyLost runs on every record and looks
  // only at those.
  uint32_t held_ = 0;
};

}  // namespace orvex
