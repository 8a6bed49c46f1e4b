#include "bus/held_messages.h"

#include <algorithm>
#include <cstring>

namespace orvex {

void HeldMessages::Add(std::span<const uint8_t> message, uint64_t key, bool continues) {
  Held held;
  held.bytes.assign(message.begin(), message.end());
  Push(std::move(held), key, continues);
}

void HeldMessages::AddShared(std::span<const uint8_t> head,
                             std::shared_ptr<const std::vector<uint8_t>> shared, uint64_t key) {
  Held held;
  held.bytes.assign(head.begin(), head.begin() + std::min(head.size(), shared->size()));
  held.shared = std::move(shared);
  Push(std::move(held), key, false);
}

void HeldMessages::CopyFront(uint8_t* out) const {
  const Held& front = held_.front();
  std::memcpy(out, front.bytes.data(), front.bytes.size());
  if (front.shared) {
    std::memcpy(out + front.bytes.size(), front.shared->data() + front.bytes.size(),
                front.shared->size() - front.bytes.size());
  }
}

void HeldMessages::Push(Held held, uint64_t key, bool continues) {
  const bool joins = continues && !held_.empty() && last_key_ == key && key != 0;
  if (joins) {
    held.key = held_.back().key;
    held.unit = held_.back().unit;
  } else {
    const bool replaceable = conflate_ && key != 0 && !continues;
    if (replaceable) {
      if (auto it = by_key_.find(key); it != by_key_.end()) {
        const uint64_t unit = it->second->unit;
        auto part = it->second;
        by_key_.erase(it);
        while (part != held_.end() && part->unit == unit) {
          auto next = std::next(part);
          Erase(part);
          part = next;
        }
        ++conflated_;
      }
      held.key = key;
    }
    held.unit = next_unit_++;
  }
  last_key_ = key;
  bytes_ += held.size();
  if (held.key == 0) fixed_bytes_ += held.size();
  held_.push_back(std::move(held));
  if (!joins && held_.back().key != 0) by_key_[key] = std::prev(held_.end());
}

void HeldMessages::Erase(std::list<Held>::iterator it) {
  bytes_ -= it->size();
  if (it->key == 0) fixed_bytes_ -= it->size();
  held_.erase(it);
}

void HeldMessages::PopFront() {
  auto front = held_.begin();
  if (front->key != 0) {
    // The unit has begun to go out: what is left of it must follow, not be replaced.
    auto it = by_key_.find(front->key);
    if (it != by_key_.end() && it->second == front) by_key_.erase(it);
    for (auto part = std::next(front); part != held_.end() && part->unit == front->unit; ++part) {
      part->key = 0;
      fixed_bytes_ += part->size();
    }
  }
  if (held_.size() == 1) last_key_ = 0;
  Erase(front);
}

void HeldMessages::Clear() {
  held_.clear();
  by_key_.clear();
  bytes_ = fixed_bytes_ = 0;
  last_key_ = 0;
}

}  // namespace orvex
