#include "transport/smf_queue.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"

namespace orvex {

struct SfSMFQueueInternal::Item {
  // Pool items are only 4-byte aligned (the pool's layout), so the link word is
  // copied rather than loaded as a pointer.
  Item* next() const {
    Item* n;
    std::memcpy(&n, this, sizeof n);
    return n;
  }
  void set_next(Item* n) { std::memcpy(static_cast<void*>(this), &n, sizeof n); }
  // The message buffer follows the 8-byte link area.
  uint8_t* buffer() { return reinterpret_cast<uint8_t*>(this) + 8; }
};
static_assert(sizeof(void*) <= 8);

SfSMFQueueInternal::SfSMFQueueInternal(const std::string& name, uint32_t slot_size,
                                       uint32_t slot_count, bool create)
    : pool_(slot_size + 8, 1024),
      slot_size_(slot_size),
      commit_event_(platform::CreateUnnamedEvent()) {
  ring_.Open(name, slot_size, slot_count, create);
  launched_ = Start();
}

SfSMFQueueInternal::~SfSMFQueueInternal() {
  stop_.store(true, std::memory_order_release);
  platform::SetEvent(commit_event_);
  if (!WaitFinished(3000)) ForceStop();
  Destroy();
  {
    SfScopedLock guard(&pool_lock_);
    DropPending();
  }
  ring_.Close();
  platform::CloseEvent(commit_event_);
}

uint8_t* SfSMFQueueInternal::BeginMessage() {
  if (current_ != nullptr) return current_->buffer();
  SfScopedLock guard(&pool_lock_);
  void* raw = pool_.Allocate();
  if (raw == nullptr) return nullptr;
  current_ = static_cast<Item*>(raw);
  return current_->buffer();
}

bool SfSMFQueueInternal::CommitMessage() {
  if (current_ == nullptr) return false;
  {
    SfScopedLock guard(&pool_lock_);
    current_->set_next(nullptr);
    if (tail_ != nullptr) {
      tail_->set_next(current_);
    } else {
      head_ = current_;
    }
    tail_ = current_;
    ++count_;
  }
  current_ = nullptr;
  // A pump that is busy (or about to look) needs no system call; one that sleeps has
  // announced it before its last look, under the lock taken above.
  if (pump_waiting_.load(std::memory_order_seq_cst)) platform::SetEvent(commit_event_);
  return true;
}

bool SfSMFQueueInternal::IsValid() {
  // Not waiting for the pump to run: a thread the scheduler delays past any limit (a
  // loaded machine, Windows' thread start-up) would make the bus refuse, or a client
  // give up, a link that works.
  return slot_size_ <= kMaxSlotSize && ring_.IsValid() && launched_;
}

uint32_t SfSMFQueueInternal::pending_count() {
  SfScopedLock guard(&pool_lock_);
  return count_ + moving_;
}

uint32_t SfSMFQueueInternal::DropNewest(uint32_t count) {
  SfScopedLock guard(&pool_lock_);
  const uint32_t dropped = std::min(count, count_);
  if (dropped == 0) return 0;
  const uint32_t kept = count_ - dropped;
  Item* last_kept = nullptr;
  Item* drop = head_;
  for (uint32_t i = 0; i < kept; ++i) {
    last_kept = drop;
    drop = drop->next();
  }
  while (drop != nullptr) {
    Item* next = drop->next();
    pool_.Free(drop);
    drop = next;
  }
  if (last_kept == nullptr) {
    head_ = nullptr;
  } else {
    last_kept->set_next(nullptr);
  }
  tail_ = last_kept;
  count_ = kept;
  return dropped;
}

void SfSMFQueueInternal::DropPending() {
  while (head_ != nullptr) {
    Item* item = head_;
    head_ = item->next();
    pool_.Free(item);
  }
  tail_ = nullptr;
  count_ = 0;
}

// Moves up to one ring's worth of pending messages into the ring: the items are taken
// and returned to the pool under one lock each, not one per message. False when the
// ring's header turned out inconsistent (the pump must stop); messages not yet
// published are then dropped with the link.
bool SfSMFQueueInternal::MoveBatch() {
  Item* const first = TakePending();
  bool ok = true;
  Item* const unsent = CopyIntoRing(first, &ok);
  SettleBatch(first, unsent, ok);
  return ok;
}

SfSMFQueueInternal::Item* SfSMFQueueInternal::TakePending() {
  SfScopedLock guard(&pool_lock_);
  Item* const first = head_;
  head_ = tail_ = nullptr;
  // Still counted while the batch is copied: a sender bounded by pending_count must
  // not see room that exists only until the ring turns out full.
  moving_ = count_;
  count_ = 0;
  return first;
}

SfSMFQueueInternal::Item* SfSMFQueueInternal::CopyIntoRing(Item* first, bool* ok) {
  Item* item = first;
  while (item != nullptr) {
    if (!ring_.HasSpace()) {
      if (ring_.broken()) *ok = false;
      break;
    }
    uint8_t* slot = ring_.WriteSlot();
    if (slot == nullptr) {
      *ok = false;
      break;
    }
    std::memcpy(slot, item->buffer(), slot_size_);
    // A peer that moved the read index onto the next write position has broken the
    // ring: publishing would make it look empty.
    if (!ring_.HasSpace()) {
      *ok = false;
      break;
    }
    ring_.Publish();
    item = item->next();
  }
  return item;
}

void SfSMFQueueInternal::SettleBatch(Item* first, Item* unsent, bool ok) {
  SfScopedLock guard(&pool_lock_);
  moving_ = 0;
  FreeItems(first, unsent);
  if (unsent == nullptr) return;
  if (!ok) {
    FreeItems(unsent, nullptr);
    return;
  }
  // Put what the full ring could not take back in front of newer commits.
  Item* last = unsent;
  uint32_t kept = 1;
  while (last->next() != nullptr) {
    last = last->next();
    ++kept;
  }
  last->set_next(head_);
  if (tail_ == nullptr) tail_ = last;
  head_ = unsent;
  count_ += kept;
}

// Returns the items from `from` up to (not including) `until` to the pool. Under
// pool_lock_.
void SfSMFQueueInternal::FreeItems(Item* from, Item* until) {
  while (from != until) {
    Item* next = from->next();
    pool_.Free(from);
    from = next;
  }
}

void SfSMFQueueInternal::Run() {
  for (;;) {
    while (!stop_.load(std::memory_order_acquire) && ring_.HasSpace() && pending_count() > 0) {
      if (!MoveBatch()) {
        broken_.store(true, std::memory_order_release);
        stop_.store(true, std::memory_order_release);
      }
    }
    if (stop_.load(std::memory_order_acquire)) {
      // Last words (a disconnect reason) committed just before the close go into the
      // ring as far as it has room, however late this thread got to run; only what a
      // full (or broken) ring cannot take is dropped.
      if (!broken() && !ring_.broken() && pending_count() > 0) MoveBatch();
      SfScopedLock guard(&pool_lock_);
      DropPending();
      return;
    }
    if (ring_.broken()) {
      broken_.store(true, std::memory_order_release);
      stop_.store(true, std::memory_order_release);
      continue;
    }
    if (pending_count() > 0) {
      ring_.WaitSpace();
    } else {
      // Announce, reset, then look: a commit after the look sees the announcement and
      // sets the event, so an idle pump sleeps without a time limit.
      pump_waiting_.store(true, std::memory_order_seq_cst);
      platform::ResetEvent(commit_event_);
      if (pending_count() == 0 && !stop_.load(std::memory_order_acquire)) {
        platform::WaitEvent(commit_event_, platform::kInfinite);
      }
      pump_waiting_.store(false, std::memory_order_relaxed);
    }
  }
}

}  // namespace orvex
