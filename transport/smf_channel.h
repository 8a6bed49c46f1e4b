#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "transport/smf_queue.h"
#include "transport/smf_ring.h"

namespace orvex {

// One classic link: an incoming ring and an outgoing queue. The creating (server) side
// reads name + "_B" and writes name + "_A"; the opening (client) side the reverse.
class SfSMFChannel {
 public:
  SfSMFChannel(bool create, uint32_t slot_count, uint32_t slot_size, const std::string& name);
  // Stops the queue's pump, then closes the incoming ring.
  ~SfSMFChannel();
  SfSMFChannel(const SfSMFChannel&) = delete;
  SfSMFChannel& operator=(const SfSMFChannel&) = delete;

  bool IsValid() { return incoming_.IsValid() && queue_->IsValid(); }
  // The peer corrupted a ring header: the link carries nothing more.
  bool broken() const { return incoming_.broken() || queue_->broken(); }

  bool HasData() { return incoming_.HasData(); }
  bool WaitData(uint32_t timeout_ms) { return incoming_.WaitData(timeout_ms); }
  uint8_t* Peek() { return incoming_.Peek(); }
  void Pop() { incoming_.Pop(); }
  uint8_t* BeginMessage() { return queue_->BeginMessage(); }
  bool CommitMessage() { return queue_->CommitMessage(); }

  SfSMFRing& incoming() { return incoming_; }
  SfSMFQueueInternal& queue() { return *queue_; }
  uint32_t slot_size() const { return slot_size_; }
  uint32_t slot_count() const { return slot_count_; }
  uint8_t side() const { return side_; }
  const std::string& name() const { return name_; }

 private:
  uint32_t slot_size_;
  uint32_t slot_count_;
  SfSMFRing incoming_;
  std::unique_ptr<SfSMFQueueInternal> queue_;
  uint8_t side_;
  std::string name_;
};

}  // namespace orvex
