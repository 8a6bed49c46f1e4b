#pragma once
#include <cstdint>
#include <list>
#include <memory>
#include <span>

#include "bus/spare_block_pool.h"
#include "threading/critical_section.h"
#include "transport/smf_connection.h"

namespace orvex {

// The bus's record of one link: the link itself, its connection id, the outgoing
// message under construction, the FIFO of spare blocks waiting for room in a classic
// link, the receive bookkeeping and the pending inactive notice. Sending may happen on
// the server thread and, during the shutdown broadcast, on the main thread: every
// Begin/Commit/Cancel/Flush runs under the connection's lock. Everything else belongs
// to the server thread.
class RtdConnection {
 public:
  // Messages a link may have waiting for its reader (classic: committed but not yet in
  // the ring, plus spare blocks; far above any legitimate burst, about 16 MB). Beyond
  // that the link is marked overflowed and dropped by the server loop.
  static constexpr uint32_t kDefaultBacklogLimit = 131072;
  // How long closing waits for a classic link's pump to deliver what is committed.
  static constexpr uint32_t kCloseDrainMs = 200;
  static constexpr uint32_t kCloseStallMs = 20;

  RtdConnection(std::unique_ptr<SfSMFConnection> link, uint16_t id, uint32_t now,
                uint32_t backlog_limit);
  // Writes out queued blocks when the link is usable, then releases the link.
  ~RtdConnection();
  RtdConnection(const RtdConnection&) = delete;
  RtdConnection& operator=(const RtdConnection&) = delete;

  uint16_t id() const { return id_; }
  bool is_v2() const { return link_->is_v2(); }
  // The link works and has not overflowed.
  bool IsUsable();
  bool overflowed() const { return overflowed_; }

  // Starts a message of `code`: a 128-byte buffer on a classic link, a record of exactly
  // `v2_length` bytes on a V2 link, with the header (id, code, tick) filled in and the
  // lock held until Commit or Cancel. An empty span (lock released, nothing to commit)
  // when the link is not usable or has no room; a link without room is marked
  // overflowed.
  std::span<uint8_t> Begin(uint16_t code, uint32_t v2_length);
  // Sends the message begun last and releases the lock. False without one.
  bool Commit();
  // Drops the message begun last and releases the lock.
  void Cancel();
  // Moves queued spare blocks into the link, oldest first; returns how many moved.
  uint32_t Flush(uint32_t now);
  uint32_t queued_count();

  SfSMFConnection& link() { return *link_; }

  // Receive bookkeeping (server thread).
  const uint32_t accepted_at;
  bool registered = false;  // set once the link registered as a client
  uint32_t last_received = 0;
  uint32_t last_flushed = 0;
  bool notice_created = false;
  bool notice_pending = false;
  std::list<RtdConnection*>::iterator round_robin;

 private:
  uint32_t FlushLocked(uint32_t now);
  void CheckBacklog();

  std::unique_ptr<SfSMFConnection> link_;
  const uint16_t id_;
  const uint32_t backlog_limit_;
  SfCriticalSection lock_;
  bool building_ = false;
  SpareBlock* building_block_ = nullptr;  // the message under construction, when queued
  SpareBlock* fifo_head_ = nullptr;
  SpareBlock* fifo_tail_ = nullptr;
  uint32_t fifo_count_ = 0;
  bool overflowed_ = false;
};

}  // namespace orvex
