#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "bus/flat_index.h"
#include "bus/value_parts.h"

namespace orvex {

// Messages a link could not take yet, kept in the bus in the order they were sent.
// With conflation on, a message added under a key (a value for one handle, say)
// replaces the unit still held under that key, so a reader that is behind gets the
// newest value of every key and never an older one after a newer one; the newer unit
// goes behind what came between. Without it, nothing is replaced. A unit may span
// several messages (the parts of a split value).
//
// Storage: one slot per unit, reused: a key keeps its slot while its unit waits, and a
// replacement writes into the slot's buffers in place; slots of units that went out
// return to a free list with their buffers. The order is a queue of slot references;
// a replaced unit's old reference is skipped when it comes up, and the queue is
// compacted once such references outnumber the live ones. So once the buffers have
// grown, adding allocates nothing, and a conflating reader that never reads costs
// memory bounded by its keys (its handles), not by the rate of updates.
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
  // Appends the parts of a classic value that `parts` will make when they come up, as
  // one message that counts ValueParts::bytes(); `key` and `continues` as for Add.
  void AddParts(std::unique_ptr<ValueParts> parts, uint64_t key, bool continues);
  // When the oldest message is such parts: takes them out (they are no longer held
  // here) and returns them; else null, and nothing changes.
  std::unique_ptr<ValueParts> TakeFrontParts();
  // While set, units added are never replaced and do not count as fixed: they are the
  // values of a reader that keeps up but whose link cannot take them for now (it could
  // not grow); only the held limit bounds them.
  void SetKeeping(bool keeping) { keeping_ = keeping; }
  bool keeping() const { return keeping_; }
  // Units added while keeping, so far.
  uint64_t kept() const { return kept_; }
  bool empty() const { return messages_ == 0; }
  // Messages held.
  size_t size() const { return messages_; }
  // The oldest message: its size, and its bytes copied to `out` (FrontSize() bytes);
  // only when not empty and the oldest is no ValueParts (see TakeFrontParts).
  size_t FrontSize() const { return FrontPart().size(); }
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
  // Slots in use or free, and references in the order queue: both stay bounded by the
  // units held at once, whatever the number of updates (tests of the bound).
  size_t slot_count() const { return slots_.size(); }
  size_t queue_length() const { return queue_.size() - queue_head_; }

 private:
  struct Part {
    std::vector<uint8_t> bytes;  // the message, or its head when `shared` holds the rest
    std::shared_ptr<const std::vector<uint8_t>> shared;
    std::unique_ptr<ValueParts> parts;  // made when they go out; `bytes` is unused
    size_t parts_bytes = 0;             // what `parts` counted when added, 0 without
    size_t size() const {
      return parts_bytes != 0 ? parts_bytes : shared ? shared->size() : bytes.size();
    }
  };
  struct Slot {
    uint64_t key = 0;         // 0: never replaced (a fixed unit, or one going out)
    bool kept = false;        // added while keeping: never replaced, not fixed either
    uint32_t generation = 0;  // bumped when the unit is replaced or leaves
    std::vector<Part> parts;  // parts[0, used) hold the unit; more keep their buffers
    size_t used = 0;
    size_t next = 0;     // the next part to go out
    uint64_t bytes = 0;  // of parts [next, used)
  };
  struct Ref {
    uint32_t slot;
    uint32_t generation;
  };

  static constexpr uint32_t kNone = UINT32_MAX;
  // The slot the next part under `key` goes to: the unit added last when the part
  // continues it, else a new unit (replacing the one held under `key`, conflating).
  uint32_t SlotFor(uint64_t key, bool continues);
  // Appends a part to `slot`'s unit and returns it, its buffers reused when they exist.
  Part& AddPart(uint32_t slot);
  void Count(uint32_t slot, const Part& part);
  uint32_t NewSlot();
  void Enqueue(uint32_t slot);
  // Drops the messages of `slot`'s unit that have not gone out.
  void DropUnit(Slot& slot);
  const Part& FrontPart() const;
  // Moves the queue's head past references to replaced units and keeps the queue's
  // dead part small.
  void Tidy();

  const bool conflate_;
  std::vector<Slot> slots_;
  std::vector<uint32_t> free_;
  FlatIndex<uint64_t, uint32_t> by_key_;  // key -> the slot of its unit that waits
  std::vector<Ref> queue_;
  size_t queue_head_ = 0;
  size_t stale_ = 0;            // references in the queue to replaced units
  uint32_t last_slot_ = kNone;  // the unit added last, while it waits
  uint64_t last_key_ = 0;
  size_t messages_ = 0;
  uint64_t bytes_ = 0;
  uint64_t fixed_bytes_ = 0;
  uint64_t conflated_ = 0;
  bool keeping_ = false;
  uint64_t kept_ = 0;
};

}  // namespace orvex
