#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/event.h"
#include "threading/critical_section.h"
#include "threading/sf_thread.h"
#include "transport/block_pool.h"
#include "transport/smf_ring.h"

namespace orvex {

// The outgoing side of a classic link: messages are composed in pool buffers,
// committed to a first-in first-out pending list and copied into the shared ring by
// the queue's own pump thread as slots come free, so a full ring loses nothing and
// the composing thread never waits for the peer.
class SfSMFQueueInternal : public SfThreadBase {
 public:
  // Largest slot the queue can carry: each pending message is a pool item of the slot
  // size plus an 8-byte link area.
  static constexpr uint32_t kMaxSlotSize = SfBlockPool::kMaxItemSize - 8;

  // Opens the ring (see SfSMFRing::Open) and starts the pump.
  SfSMFQueueInternal(const std::string& name, uint32_t slot_size, uint32_t slot_count, bool create);
  // Stops the pump (3000 ms, then by force), which first moves what still fits into the
  // ring; drops the rest, closes the ring.
  ~SfSMFQueueInternal() override;

  // A slot-size buffer to compose the next message in; the same buffer again until it
  // is committed. Null when the pool cannot grow.
  uint8_t* BeginMessage();
  // Appends the composed message to the pending list; false without a buffer.
  bool CommitMessage();
  // The ring is valid, its slots fit the pool (kMaxSlotSize) and the pump thread was
  // launched. Whether it has run yet does not matter (commits wait in the pending list
  // until it does), so a pump the scheduler starves for a while fails no link.
  bool IsValid();
  // The pump has stopped because the peer corrupted the ring's shared header.
  bool broken() const { return broken_.load(std::memory_order_acquire); }
  // Messages committed and not yet in the ring. Never fewer: the batch being moved counts
  // until the pump settles it, a moment after its messages are published.
  uint32_t pending_count();
  // Drops up to `count` of the messages committed last that still wait in the pending
  // list (the parts of a value whose sending failed half-way); those the pump is
  // moving into the ring are beyond recall. Returns how many were dropped.
  uint32_t DropNewest(uint32_t count);

 protected:
  void Run() override;

 private:
  struct Item;  // pool payload: link, padding, then the message buffer
  bool MoveBatch();
  // The steps of MoveBatch: take the whole pending list, copy from its front into the
  // ring (answering the first item not published), then free what was published and
  // put the rest back in front (or drop it when the ring is broken).
  Item* TakePending();
  Item* CopyIntoRing(Item* first, bool* ok);
  void SettleBatch(Item* first, Item* unsent, bool ok);
  void FreeItems(Item* from, Item* until);
  void DropPending();

  SfSMFRing ring_;
  SfCriticalSection pool_lock_;
  Item* head_ = nullptr;
  Item* tail_ = nullptr;
  uint32_t count_ = 0;
  uint32_t moving_ = 0;  // taken by MoveBatch and not yet in the ring or back in the list
  SfBlockPool pool_;
  uint32_t slot_size_;
  Item* current_ = nullptr;
  std::atomic<bool> stop_{false};
  std::atomic<bool> broken_{false};
  bool launched_ = false;  // the pump thread exists (it may not have run yet)
  // Set by CommitMessage, when the pump announced that it sleeps, to wake it at once.
  platform::EventObject* commit_event_;
  std::atomic<bool> pump_waiting_{false};
};

}  // namespace orvex
