#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "transport/smf_channel.h"

namespace orvex::client {

// Outcome of a classic handshake.
enum class ClassicResult { kConnected, kNoBus, kTimedOut, kRefused, kChannelFailed };

// The client's end of a classic link: asks the bus's acceptor `base` for a private
// channel and then sends and receives fixed-size slots through it. One thread at a time.
class ClassicClient {
 public:
  ClassicClient() = default;
  ~ClassicClient() { Disconnect(); }
  ClassicClient(const ClassicClient&) = delete;
  ClassicClient& operator=(const ClassicClient&) = delete;

  // Takes "_MTRQ", posts the request (client word, wanted slot size and count), sets
  // "_EVRQ", waits for "_EVRP" and reads the response under "_MTRP", then opens the
  // channel's rings as the open side. Gives up after `timeout_ms`. An acceptor mutex
  // left abandoned by a killed client counts as acquired.
  ClassicResult Connect(const std::string& base, uint32_t word, uint32_t slot_size,
                        uint32_t slot_count, uint32_t timeout_ms);
  // After a Connect that timed out: the acceptor's mutex ("_MTRQ" or "_MTRP") that
  // another process held (a client stopped half-way through its own connect, say), so
  // the bus could not be asked or could not answer; empty otherwise.
  const std::string& held_mutex() const { return held_mutex_; }
  // Flushes (up to 1000 ms) and closes the channel; messages still queued after that
  // are dropped.
  void Disconnect();
  // Waits up to `timeout_ms` until every sent message is in the ring; true then.
  bool Flush(uint32_t timeout_ms);

  // Copies `length` bytes into the next outgoing slot (the rest zeroed) and commits it;
  // false when longer than a slot or not connected.
  bool Send(const void* data, size_t length);
  // Caps the bytes of messages queued here and not yet moved into the bus's ring
  // (counted in whole slots; default: no cap, BusClient sets one). The ring itself is
  // bounded by its slot count.
  void SetQueueLimit(uint64_t bytes) { queue_limit_ = bytes; }
  // True when the queue is under its cap (an empty queue always takes a message).
  bool QueueHasRoom();
  // Waits up to `timeout_ms` for QueueHasRoom, looking every millisecond: the pump
  // that empties the queue offers no wake-up for it. False on time-out or a broken link.
  bool WaitQueueRoom(uint32_t timeout_ms);
  // Waits up to `timeout_ms` for the next incoming slot and copies it (slot_size()
  // bytes) to `slot`; false when none came.
  bool Receive(uint8_t* slot, uint32_t timeout_ms);

  bool connected() const { return channel_ != nullptr; }
  SfSMFChannel* channel() { return channel_.get(); }
  uint32_t slot_size() const { return channel_ ? channel_->slot_size() : 0; }
  uint32_t slot_count() const { return channel_ ? channel_->slot_count() : 0; }
  const std::string& channel_name() const { return channel_name_; }

 private:
  std::unique_ptr<SfSMFChannel> channel_;
  std::string channel_name_;
  std::string held_mutex_;
  uint64_t queue_limit_ = UINT64_MAX;
};

}  // namespace orvex::client
