#include "bus/rtd_connection.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "protocol/message_codes.h"
#include "protocol/message_header.h"
#include "protocol/message_layout.h"
#include "protocol/wire_format.h"

namespace orvex {

RtdConnection::RtdConnection(std::unique_ptr<SfSMFConnection> link, uint16_t id, uint32_t now,
                             const LinkFlow& flow)
    : accepted_at(now),
      last_received(now),
      last_flushed(now),
      link_(std::move(link)),
      id_(id),
      flow_(flow),
      held_(flow.policy == SlowPolicy::kConflate) {
  link_->SetBacklogLimit(flow_.backlog_bytes);
}

RtdConnection::~RtdConnection() {
  if (link_->IsValid()) {
    MoveHeld(platform::TickCount());
    // A classic link's pump drops what it has not moved when the link closes: give it
    // a moment to deliver the last words (a disconnect reason, say) to a live reader.
    // A reader that makes no progress (dead, or never reading) is not waited for.
    uint32_t backlog = link_->BacklogCount();
    uint32_t progress = platform::TickCount();
    const uint32_t start = progress;
    while (backlog != 0 && platform::TickCount() - start < kCloseDrainMs &&
           platform::TickCount() - progress < kCloseStallMs) {
      platform::SleepMs(1);
      const uint32_t now_backlog = link_->BacklogCount();
      if (now_backlog != backlog) progress = platform::TickCount();
      backlog = now_backlog;
    }
  }
}

bool RtdConnection::IsUsable() {
  return link_->IsValid();
}

bool RtdConnection::WithinBound() {
  // V2 links bound their segments themselves: BeginOutgoing fails past the bound.
  return farewell_ || link_->is_v2() || link_->BacklogBytes() < flow_.backlog_bytes;
}

std::span<uint8_t> RtdConnection::Begin(uint16_t code, uint32_t v2_length, uint64_t key,
                                        bool continues) {
  return BeginAt(platform::TickCount(), code, v2_length, key, continues);
}

std::span<uint8_t> RtdConnection::BeginAt(uint32_t tick, uint16_t code, uint32_t v2_length,
                                          uint64_t key, bool continues) {
  if (building_ || !IsUsable() || (overflowed_ && !farewell_)) return {};
  const uint32_t length = link_->is_v2() ? v2_length : kClassicSlotSize;
  uint8_t* slot = DirectSlot(length, tick);
  std::span<uint8_t> out;
  if (slot != nullptr) {
    out = std::span<uint8_t>(slot, length);
    building_held_ = false;
  } else {
    scratch_.assign(length, 0);
    out = scratch_;
    building_held_ = true;
    StartHolding(tick);
  }
  WriteMessageHeader(out, MessageHeader{id_, code, tick});
  building_ = true;
  building_tick_ = tick;
  scratch_length_ = length;
  building_key_ = key;
  building_continues_ = continues;
  return out;
}

bool RtdConnection::HasRoom() {
  return held_.empty() && streaming_ == nullptr && WithinBound();
}

void RtdConnection::NoteRefusal(uint32_t now) {
  const bool growth = link_->GrowthRefused();
  held_.SetKeeping(growth);
  if (growth) refused_at_ = now;
}

uint8_t* RtdConnection::DirectSlot(uint32_t length, uint32_t now) {
  // Once messages are held, later ones queue behind them so the order holds.
  if (!HasRoom()) return nullptr;
  uint8_t* slot = link_->BeginOutgoing(length);
  if (slot == nullptr) NoteRefusal(now);
  if (slot != nullptr && !link_->is_v2()) {
    const uint32_t size = link_->default_message_size();
    std::memset(slot, 0, std::max<uint32_t>(size, kClassicSlotSize));
  }
  return slot;
}

void RtdConnection::StartHolding(uint32_t tick) {
  holding_.store(true, std::memory_order_relaxed);
  if (!behind_) {
    behind_ = true;
    last_progress_ = tick;
    taken_ = 0;
  }
}

void RtdConnection::Took(uint64_t bytes, uint32_t now) {
  if (!behind_) return;
  // A reader counts as moving when it frees half its bound within the stall limit, not
  // for every message: one message now and then would hold publishers back for ever.
  taken_ += bytes;
  if (taken_ >= flow_.backlog_bytes / 2) {
    last_progress_ = now;
    taken_ = 0;
  }
  if (held_.empty() && streaming_ == nullptr && link_->WaitingBytes() < flow_.backlog_bytes / 2) {
    behind_ = false;
  }
}

bool RtdConnection::CheckHeldLimit() {
  if (held_.bytes() <= flow_.held_limit() || farewell_) return true;
  // Memory is freed now, not when the server gets to the drop.
  held_.Clear();
  streaming_.reset();
  overflowed_ = true;
  return false;
}

bool RtdConnection::SendShared(uint32_t tick, uint16_t code,
                               const std::shared_ptr<const std::vector<uint8_t>>& encoded,
                               uint32_t handle, uint64_t key) {
  const size_t head = layout::kHandle + 4;
  const auto length = static_cast<uint32_t>(encoded->size());
  if (building_ || !IsUsable() || (overflowed_ && !farewell_) || length < head ||
      (!link_->is_v2() && length > kClassicSlotSize)) {
    return false;
  }
  uint8_t prefix[head];
  std::memcpy(prefix, encoded->data(), head);
  WriteMessageHeader(prefix, MessageHeader{id_, code, tick});
  wire::StoreU32(prefix + layout::kHandle, handle);
  if (uint8_t* slot = DirectSlot(link_->is_v2() ? length : kClassicSlotSize, tick)) {
    std::memcpy(slot, prefix, head);
    std::memcpy(slot + head, encoded->data() + head, length - head);
    Took(length, tick);
    return link_->CommitOutgoing();
  }
  StartHolding(tick);
  held_.AddShared(prefix, encoded, key);
  return CheckHeldLimit();
}

bool RtdConnection::Commit() {
  if (!building_) return false;
  building_ = false;
  bool ok = true;
  if (building_held_) {
    held_.Add(scratch_, building_key_, building_continues_);
    ok = CheckHeldLimit();
  } else {
    Took(scratch_length_, building_tick_);
    ok = link_->CommitOutgoing();
  }
  return ok;
}

bool RtdConnection::SendParts(std::unique_ptr<ValueParts> parts, uint64_t key, bool continues) {
  if (building_ || !IsUsable() || (overflowed_ && !farewell_) || parts->Done()) return false;
  StartHolding(parts->tick());
  if (continues && held_.empty() && streaming_ == nullptr) {
    streaming_ = std::move(parts);
    return true;
  }
  held_.AddParts(std::move(parts), key, continues);
  return CheckHeldLimit();
}

void RtdConnection::Cancel() {
  if (!building_) return;
  building_ = false;
  if (!building_held_) link_->CancelOutgoing();
}

uint32_t RtdConnection::Flush(uint32_t now) {
  if (building_ || !link_->IsValid()) return 0;
  return MoveHeld(now);
}

uint32_t RtdConnection::MoveHeld(uint32_t now) {
  // Creating a segment waits for the user's name lock: while it is held elsewhere, try
  // again now and then, not every pass.
  constexpr uint32_t kGrowthRetryMs = 50;
  if (held_.keeping() && now - refused_at_ < kGrowthRetryMs) return 0;
  uint32_t moved = 0;
  uint64_t moved_bytes = 0;
  const bool v2 = link_->is_v2();
  while (WithinBound()) {
    if (streaming_ == nullptr) {
      if (held_.empty()) break;
      streaming_ = held_.TakeFrontParts();
    }
    const size_t size = streaming_ != nullptr ? kClassicSlotSize : held_.FrontSize();
    uint8_t* slot = link_->BeginOutgoing(static_cast<uint32_t>(size));
    if (slot == nullptr) {
      NoteRefusal(now);
      break;
    }
    held_.SetKeeping(false);
    if (!v2) {
      const uint32_t slot_size = link_->default_message_size();
      if (slot_size > size) std::memset(slot + size, 0, slot_size - size);
    }
    if (streaming_ != nullptr) {
      streaming_->WriteNext(id_, std::span<uint8_t>(slot, size));
      if (streaming_->Done()) streaming_.reset();
    } else {
      held_.CopyFront(slot);
      held_.PopFront();
    }
    link_->CommitOutgoing();
    moved_bytes += size;
    ++moved;
  }
  // Taking some of what is held is no progress under block: publishers wait until the
  // link has drained below its bound, so only that ends the stall clock.
  if (moved != 0) last_flushed = now;
  Took(moved_bytes, now);
  if (held_.empty() && streaming_ == nullptr) holding_.store(false, std::memory_order_relaxed);
  return moved;
}

void RtdConnection::PrepareFarewell() {
  held_.Clear();
  streaming_.reset();
  holding_.store(false, std::memory_order_relaxed);
  farewell_ = true;
  link_->SetBacklogLimit(UINT64_MAX);
}

uint32_t RtdConnection::last_progress() {
  return last_progress_;
}

uint64_t RtdConnection::fixed_held_bytes() {
  return held_.fixed_bytes();
}

bool RtdConnection::behind() {
  return behind_;
}

bool RtdConnection::overflowed() {
  return overflowed_;
}

uint64_t RtdConnection::conflated() {
  return held_.conflated();
}

uint64_t RtdConnection::TakeKept() {
  const uint64_t fresh = held_.kept() - kept_reported_;
  kept_reported_ = held_.kept();
  return fresh;
}

uint64_t RtdConnection::TakeConflated() {
  const uint64_t fresh = held_.conflated() - conflated_reported_;
  conflated_reported_ = held_.conflated();
  return fresh;
}

bool RtdConnection::Delivered() {
  return held_.empty() && streaming_ == nullptr && link_->Delivered();
}

}  // namespace orvex
