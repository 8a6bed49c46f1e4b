#include "bus/topic_id_index.h"

namespace orvex {

namespace {
constexpr size_t kFirstSize = 64;
}  // namespace

size_t TopicIdIndex::Home(uint32_t id) const {
  // Fibonacci hashing: ids in sequence land far apart, and so do ids that skip.
  return static_cast<size_t>((id * 2654435769u) >> shift_);
}

RtdTopic* TopicIdIndex::Find(uint32_t id) const {
  if (id == 0 || slots_.empty()) return nullptr;
  const size_t mask = slots_.size() - 1;
  for (size_t i = Home(id);; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.id == id) return slot.topic;
    if (slot.id == 0) return nullptr;
  }
}

void TopicIdIndex::Insert(uint32_t id, RtdTopic* topic) {
  if (id == 0) return;
  if ((size_ + 1) * 2 > slots_.size()) Grow();
  const size_t mask = slots_.size() - 1;
  for (size_t i = Home(id);; i = (i + 1) & mask) {
    Slot& slot = slots_[i];
    if (slot.id == id) {
      slot.topic = topic;
      return;
    }
    if (slot.id == 0) {
      slot = Slot{id, topic};
      ++size_;
      return;
    }
  }
}

void TopicIdIndex::Erase(uint32_t id) {
  if (id == 0 || slots_.empty()) return;
  const size_t mask = slots_.size() - 1;
  size_t hole = Home(id);
  while (slots_[hole].id != id) {
    if (slots_[hole].id == 0) return;
    hole = (hole + 1) & mask;
  }
  // Backward shift: an entry further on moves into the hole unless its home lies
  // cyclically after the hole (then it is already where a look-up starts looking).
  for (size_t next = (hole + 1) & mask; slots_[next].id != 0; next = (next + 1) & mask) {
    const size_t home = Home(slots_[next].id);
    const bool stays = hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
    if (stays) continue;
    slots_[hole] = slots_[next];
    hole = next;
  }
  slots_[hole] = Slot{};
  --size_;
}

void TopicIdIndex::Grow() {
  std::vector<Slot> old;
  old.swap(slots_);
  const size_t size = old.empty() ? kFirstSize : old.size() * 2;
  slots_.assign(size, Slot{});
  shift_ = 32;
  for (size_t n = size; n > 1; n >>= 1) --shift_;
  size_ = 0;
  for (const Slot& slot : old) {
    if (slot.id != 0) Insert(slot.id, slot.topic);
  }
}

}  // namespace orvex
