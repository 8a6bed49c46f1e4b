#pragma once
#include <cstdint>
#include <list>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

namespace orvex {

// Messages a link could not take yet, kept in the bus in the order they were sent.
// With conflation on, a message added under a key (a value for one handle, say)
// replaces the unit still held under that key, so a reader that is behind gets the
// newest value of every key and never an older one after a newer one; without it,
// nothing is replaced. A unit may span several messages (the parts of a split value).
// Not thread-safe: the owner locks.
class HeldMessages {
 public:
  explicit HeldMessages(bool conflate) : conflate_(conflate) {}

  // Appends a copy of `message`. `key` 0 is never replaced. `continues`: a further part
  // of the unit added last under the same key (a unit whose first part was not held
  // here is never replaced, so its parts stay together).
  void Add(std::span<const uint8_t> message, uint64_t key, bool continues);
  // Appends the message that is `shared` with its first bytes replaced by `head` (this
  // link's header and handle). The payload is kept by reference: a value fanned out
  // to many handles is held once, whatever the number of handles holding it.
  void AddShared(std::span<const uint8_t> head, std::shared_ptr<const std::vector<uint8_t>> shared,
                 uint64_t key);
  bool empty() const { return held_.empty(); }
  size_t size() const { return held_.size(); }
  // The oldest message: its size, and its bytes copied to `out` (FrontSize() bytes);
  // only when not empty.
  size_t FrontSize() const { return held_.front().size(); }
  void CopyFront(uint8_t* out) const;
  // Drops the oldest message; the rest of its unit is no longer replaced.
  void PopFront();
  void Clear();
  // Bytes of the messages held (a shared payload counts for every message that holds
  // it), and of units that are never replaced.
  uint64_t bytes() const { return bytes_; }
  uint64_t fixed_bytes() const { return fixed_bytes_; }
  // Units replaced by newer ones so far.
  uint64_t conflated() const { return conflated_; }

 private:
  struct Held {
    uint64_t key = 0;  // 0: never replaced
    uint64_t unit = 0;
    std::vector<uint8_t> bytes;  // the message, or its head when `shared` holds the rest
    std::shared_ptr<const std::vector<uint8_t>> shared;
    size_t size() const { return shared ? shared->size() : bytes.size(); }
  };
  void Push(Held held, uint64_t key, bool continues);
  void Erase(std::list<Held>::iterator it);

  const bool conflate_;
  std::list<Held> held_;
  // Key -> the first message of the unit held under it.
  std::unordered_map<uint64_t, std::list<Held>::iterator> by_key_;
  uint64_t next_unit_ = 1;
  uint64_t last_key_ = 0;
  uint64_t bytes_ = 0;
  uint64_t fixed_bytes_ = 0;
  uint64_t conflated_ = 0;
};

}  // namespace orvex
