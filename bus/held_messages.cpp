#include "bus/held_messages.h"

#include <algorithm>
#include <cstring>

namespace orvex {

namespace {
// The queue is rewritten once references to replaced units outnumber the live ones by
// this much, or its consumed front is this long and half of it.
constexpr size_t kQueueSlack = 64;
}  // namespace

void HeldMessages::Add(std::span<const uint8_t> message, uint64_t key, bool continues) {
  const uint32_t slot = SlotFor(key, continues);
  Part& part = AddPart(slot);
  part.bytes.assign(message.begin(), message.end());
  Count(slot, part);
}

void HeldMessages::AddShared(std::span<const uint8_t> head,
                             std::shared_ptr<const std::vector<uint8_t>> shared, uint64_t key) {
  const uint32_t slot = SlotFor(key, false);
  Part& part = AddPart(slot);
  part.bytes.assign(head.begin(), head.begin() + std::min(head.size(), shared->size()));
  part.shared = std::move(shared);
  Count(slot, part);
}

void HeldMessages::AddParts(std::unique_ptr<ValueParts> parts, uint64_t key, bool continues) {
  const uint32_t slot = SlotFor(key, continues);
  Part& part = AddPart(slot);
  part.bytes.clear();
  part.parts_bytes = static_cast<size_t>(parts->bytes());
  part.parts = std::move(parts);
  Count(slot, part);
}

std::unique_ptr<ValueParts> HeldMessages::TakeFrontParts() {
  if (empty()) return nullptr;
  Slot& s = slots_[queue_[queue_head_].slot];
  std::unique_ptr<ValueParts> parts = std::move(s.parts[s.next].parts);
  if (parts != nullptr) PopFront();
  return parts;
}

uint32_t HeldMessages::SlotFor(uint64_t key, bool continues) {
  if (continues && key != 0 && key == last_key_ && last_slot_ != kNone) return last_slot_;
  const bool replaceable = conflate_ && !keeping_ && key != 0 && !continues;
  uint32_t slot = replaceable ? by_key_.Find(key, kNone) : kNone;
  if (slot != kNone) {
    // Replaced: the newer unit takes the slot (and its buffers) and goes to the back.
    DropUnit(slots_[slot]);
    ++slots_[slot].generation;
    ++stale_;
    ++conflated_;
  } else {
    slot = NewSlot();
    slots_[slot].key = replaceable ? key : 0;
    slots_[slot].kept = keeping_;
    if (keeping_) ++kept_;
    if (replaceable) by_key_.Insert(key, slot);
  }
  Enqueue(slot);
  last_slot_ = slot;
  last_key_ = key;
  Tidy();
  return slot;
}

uint32_t HeldMessages::NewSlot() {
  if (!free_.empty()) {
    const uint32_t slot = free_.back();
    free_.pop_back();
    return slot;
  }
  slots_.emplace_back();
  return static_cast<uint32_t>(slots_.size() - 1);
}

void HeldMessages::Enqueue(uint32_t slot) {
  queue_.push_back(Ref{slot, slots_[slot].generation});
}

HeldMessages::Part& HeldMessages::AddPart(uint32_t slot) {
  Slot& s = slots_[slot];
  if (s.used == s.parts.size()) s.parts.emplace_back();
  Part& part = s.parts[s.used++];
  part.parts_bytes = 0;
  return part;
}

void HeldMessages::Count(uint32_t slot, const Part& part) {
  Slot& s = slots_[slot];
  const size_t size = part.size();
  ++messages_;
  bytes_ += size;
  s.bytes += size;
  if (s.key == 0 && !s.kept) fixed_bytes_ += size;
}

void HeldMessages::DropUnit(Slot& slot) {
  for (size_t i = slot.next; i < slot.used; ++i) {
    slot.parts[i].shared.reset();
    slot.parts[i].parts.reset();
  }
  messages_ -= slot.used - slot.next;
  bytes_ -= slot.bytes;
  if (slot.key == 0 && !slot.kept) fixed_bytes_ -= slot.bytes;
  slot.used = slot.next = 0;
  slot.bytes = 0;
}

const HeldMessages::Part& HeldMessages::FrontPart() const {
  const Slot& s = slots_[queue_[queue_head_].slot];
  return s.parts[s.next];
}

void HeldMessages::CopyFront(uint8_t* out) const {
  const Part& front = FrontPart();
  std::memcpy(out, front.bytes.data(), front.bytes.size());
  if (front.shared) {
    std::memcpy(out + front.bytes.size(), front.shared->data() + front.bytes.size(),
                front.shared->size() - front.bytes.size());
  }
}

void HeldMessages::PopFront() {
  const uint32_t slot = queue_[queue_head_].slot;
  Slot& s = slots_[slot];
  Part& part = s.parts[s.next++];
  const size_t size = part.size();
  part.shared.reset();
  part.parts.reset();
  --messages_;
  bytes_ -= size;
  s.bytes -= size;
  if (s.key == 0) {
    if (!s.kept) fixed_bytes_ -= size;
  } else {
    // The unit has begun to go out: what is left of it must follow, not be replaced.
    by_key_.Erase(s.key);
    s.key = 0;
    fixed_bytes_ += s.bytes;
  }
  if (s.next < s.used) return;
  // The unit is out: its slot (with its buffers) serves the next one.
  s.used = s.next = 0;
  ++s.generation;
  free_.push_back(slot);
  if (last_slot_ == slot) {
    last_slot_ = kNone;
    last_key_ = 0;
  }
  ++queue_head_;
  Tidy();
}

void HeldMessages::Tidy() {
  while (queue_head_ < queue_.size() &&
         queue_[queue_head_].generation != slots_[queue_[queue_head_].slot].generation) {
    ++queue_head_;
    --stale_;
  }
  const size_t length = queue_.size() - queue_head_;
  if (stale_ > length - stale_ + kQueueSlack) {
    // Keep the live references, in order.
    size_t kept = 0;
    for (size_t i = queue_head_; i < queue_.size(); ++i) {
      if (queue_[i].generation == slots_[queue_[i].slot].generation) queue_[kept++] = queue_[i];
    }
    queue_.resize(kept);
    queue_head_ = 0;
    stale_ = 0;
  } else if (queue_head_ > kQueueSlack && queue_head_ * 2 > queue_.size()) {
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(queue_head_));
    queue_head_ = 0;
  }
}

void HeldMessages::Clear() {
  slots_.clear();
  free_.clear();
  by_key_.Clear();
  queue_.clear();
  queue_head_ = 0;
  stale_ = 0;
  last_slot_ = kNone;
  last_key_ = 0;
  messages_ = 0;
  bytes_ = fixed_bytes_ = 0;
}

}  // namespace orvex
