#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvex {

// Unsigned key -> value in one flat array (open addressing, linear probing), for the
// look-ups the bus makes per message: one or two probes into contiguous memory, no
// node per entry, so once grown an insertion allocates nothing. Grows by doubling at
// half load; removal shifts the entries after it back, leaving no tombstones, so churn
// never slows it down. Key 0 is never held (it marks an empty slot). Not thread-safe.
template <typename Key, typename Value>
class FlatIndex {
 public:
  // The value under `key`, or `none`.
  Value Find(Key key, Value none = Value{}) const {
    if (key == 0 || slots_.empty()) return none;
    for (size_t i = Home(key);; i = (i + 1) & mask()) {
      if (slots_[i].key == key) return slots_[i].value;
      if (slots_[i].key == 0) return none;
    }
  }
  // Enters `value` under `key` (not 0), replacing what was there under it.
  void Insert(Key key, Value value) {
    if (key == 0) return;
    if ((size_ + 1) * 2 > slots_.size()) Grow();
    for (size_t i = Home(key);; i = (i + 1) & mask()) {
      Slot& slot = slots_[i];
      if (slot.key == key || slot.key == 0) {
        if (slot.key == 0) ++size_;
        slot = Slot{key, value};
        return;
      }
    }
  }
  // Removes `key`; nothing when it is not there.
  void Erase(Key key) {
    if (key == 0 || slots_.empty()) return;
    size_t hole = Home(key);
    while (slots_[hole].key != key) {
      if (slots_[hole].key == 0) return;
      hole = (hole + 1) & mask();
    }
    // Backward shift: an entry further on moves into the hole unless its home lies
    // cyclically after the hole (a look-up for it starts past the hole then).
    for (size_t next = (hole + 1) & mask(); slots_[next].key != 0; next = (next + 1) & mask()) {
      const size_t home = Home(slots_[next].key);
      const bool stays =
          hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
      if (stays) continue;
      slots_[hole] = slots_[next];
      hole = next;
    }
    slots_[hole] = Slot{};
    --size_;
  }
  // Empties the index, keeping its memory.
  void Clear() {
    for (Slot& slot : slots_) slot = Slot{};
    size_ = 0;
  }
  size_t size() const { return size_; }

 private:
  struct Slot {
    Key key = 0;
    Value value{};
  };
  size_t mask() const { return slots_.size() - 1; }
  size_t Home(Key key) const {
    // Fibonacci hashing: keys in sequence land far apart, and so do keys that skip.
    return static_cast<size_t>((uint64_t{key} * 0x9E3779B97F4A7C15ull) >> shift_);
  }
  void Grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
    shift_ = 64;
    for (size_t n = slots_.size(); n > 1; n >>= 1) --shift_;
    size_ = 0;
    for (const Slot& slot : old) {
      if (slot.key != 0) Insert(slot.key, slot.value);
    }
  }

  std::vector<Slot> slots_;  // a power of two in size, or empty
  size_t size_ = 0;
  int shift_ = 64;  // 64 - log2(slots_.size())
};

}  // namespace orvex
