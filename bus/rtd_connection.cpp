#include "bus/rtd_connection.h"

#include <cstring>

#include "platform/clock.h"
#include "protocol/message_header.h"

namespace orvex {

RtdConnection::RtdConnection(std::unique_ptr<SfSMFConnection> link, uint16_t id, uint32_t now,
                             uint32_t backlog_limit)
    : accepted_at(now),
      last_received(now),
      last_flushed(now),
      link_(std::move(link)),
      id_(id),
      backlog_limit_(backlog_limit) {}

RtdConnection::~RtdConnection() {
  SfScopedLock hold(&lock_);
  if (link_->IsValid()) {
    FlushLocked(platform::TickCount());
    // A classic link's pump drops what it has not moved when the link closes: give it
    // a moment to deliver the last words (a disconnect reason, say) to a live reader.
    // A reader that makes no progress (dead, or never reading) is not waited for.
    uint32_t backlog = link_->BacklogCount();
    uint32_t progress = platform::TickCount();
    const uint32_t start = progress;
    while (!overflowed_ && backlog != 0 && platform::TickCount() - start < kCloseDrainMs &&
           platform::TickCount() - progress < kCloseStallMs) {
      platform::SleepMs(1);
      const uint32_t now_backlog = link_->BacklogCount();
      if (now_backlog != backlog) progress = platform::TickCount();
      backlog = now_backlog;
    }
  }
  while (fifo_head_ != nullptr) {
    SpareBlock* block = fifo_head_;
    fifo_head_ = block->next;
    SpareBlockPool::Instance().Give(block);
  }
  SpareBlockPool::Instance().Give(building_block_);
}

bool RtdConnection::IsUsable() {
  return !overflowed_ && link_->IsValid();
}

void RtdConnection::CheckBacklog() {
  if (link_->BacklogCount() + fifo_count_ >= backlog_limit_) overflowed_ = true;
}

std::span<uint8_t> RtdConnection::Begin(uint16_t code, uint32_t v2_length) {
  lock_.Enter();
  if (building_ || !IsUsable()) {
    lock_.Leave();
    return {};
  }
  std::span<uint8_t> out;
  if (link_->is_v2()) {
    uint8_t* record = link_->BeginOutgoing(v2_length);
    if (record == nullptr) {
      // The reader is a whole link's capacity behind: it would only lose messages.
      overflowed_ = true;
      lock_.Leave();
      return {};
    }
    out = std::span<uint8_t>(record, v2_length);
  } else {
    CheckBacklog();
    if (overflowed_) {
      lock_.Leave();
      return {};
    }
    // Once blocks wait, later messages queue behind them so the order holds.
    uint8_t* slot = fifo_head_ == nullptr ? link_->BeginOutgoing(kClassicSlotSize) : nullptr;
    if (slot != nullptr) {
      const uint32_t size = link_->default_message_size();
      if (size > kClassicSlotSize) std::memset(slot + kClassicSlotSize, 0, size - kClassicSlotSize);
    } else {
      building_block_ = SpareBlockPool::Instance().Take();
      slot = building_block_->data;
    }
    std::memset(slot, 0, kClassicSlotSize);
    out = std::span<uint8_t>(slot, kClassicSlotSize);
  }
  WriteMessageHeader(out, MessageHeader{id_, code, platform::TickCount()});
  building_ = true;
  return out;
}

bool RtdConnection::Commit() {
  if (!building_) return false;
  building_ = false;
  bool ok = true;
  if (building_block_ != nullptr) {
    SpareBlock* block = building_block_;
    building_block_ = nullptr;
    block->next = nullptr;
    if (fifo_tail_ != nullptr) {
      fifo_tail_->next = block;
    } else {
      fifo_head_ = block;
    }
    fifo_tail_ = block;
    ++fifo_count_;
    FlushLocked(platform::TickCount());
  } else {
    ok = link_->CommitOutgoing();
  }
  lock_.Leave();
  return ok;
}

void RtdConnection::Cancel() {
  if (!building_) return;
  building_ = false;
  if (building_block_ != nullptr) {
    SpareBlockPool::Instance().Give(building_block_);
    building_block_ = nullptr;
  } else {
    link_->CancelOutgoing();
  }
  lock_.Leave();
}

uint32_t RtdConnection::Flush(uint32_t now) {
  SfScopedLock hold(&lock_);
  if (building_ || !link_->IsValid()) return 0;
  return FlushLocked(now);
}

uint32_t RtdConnection::FlushLocked(uint32_t now) {
  uint32_t moved = 0;
  while (fifo_head_ != nullptr) {
    uint8_t* slot = link_->BeginOutgoing(kClassicSlotSize);
    if (slot == nullptr) break;
    const uint32_t size = link_->default_message_size();
    std::memcpy(slot, fifo_head_->data, kClassicSlotSize);
    if (size > kClassicSlotSize) std::memset(slot + kClassicSlotSize, 0, size - kClassicSlotSize);
    link_->CommitOutgoing();
    SpareBlock* block = fifo_head_;
    fifo_head_ = block->next;
    if (fifo_head_ == nullptr) fifo_tail_ = nullptr;
    --fifo_count_;
    SpareBlockPool::Instance().Give(block);
    last_flushed = now;
    ++moved;
  }
  return moved;
}

uint32_t RtdConnection::queued_count() {
  SfScopedLock hold(&lock_);
  return fifo_count_;
}

}  // namespace orvex
