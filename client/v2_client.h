#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "transport/smf_link_v2.h"

namespace orvex::client {

// A client's end of a V2 link to the bus: posts a request value to the acceptor
// base + ".V2" and then talks through its own ".C" segments (written here) and the
// bus's ".S" segments (read here), sleeping on the link's wake-up event when the bus
// offers one. No bus logic. One thread sends and receives at a
// time, except that several may send (the link's writer lock serialises them).
class V2Client {
 public:
  V2Client() = default;
  ~V2Client() { Close(); }
  V2Client(const V2Client&) = delete;
  V2Client& operator=(const V2Client&) = delete;

  // Connects to the bus serving `base` (e.g. "Local\\Vantel"): creates the link's ".C"
  // side, posts its request value under the acceptor lock and waits up to
  // `timeout_ms` for the bus's first ".S" segment. False, with nothing left open, when
  // no bus serves V2 there, the request ring is full or the bus does not answer.
  bool Connect(const std::string& base, uint32_t timeout_ms);
  // Posts `value` to the acceptor of `base` without connecting (tests use 0 and
  // chosen values). False when the acceptor is missing, its header is malformed, the
  // lock is not taken within `timeout_ms` or the request ring is full. With `wake_bus`
  // the acceptor's wake-up event (base + ".V2.EV") is set when the bus has one.
  static bool PostRequest(const std::string& base, uint32_t value, uint32_t timeout_ms,
                          bool wake_bus = true);
  // Closes the link, first waiting up to a second for the bus to reach every segment
  // (WaitBusReachedEverySegment).
  void Close();
  // Waits up to `timeout_ms` until the bus has followed every hop to a later segment of
  // ours, so closing loses nothing it has not mapped. False on time-out, a broken link,
  // or once `bus_gone` (when given) answers true.
  bool WaitBusReachedEverySegment(uint32_t timeout_ms,
                                  const std::function<bool()>& bus_gone = nullptr);
  // Whether Connect wakes the bus and takes the link's wake-ups when the bus offers them
  // (the default); without them this client polls, the bus polls its link and finds
  // the request at its next look.
  void set_use_wake(bool use) { use_wake_ = use; }

  // Caps the bytes of segments this client's side of the link holds (default: no cap;
  // BusClient sets one), so a bus that reads slowly holds a sender back instead of the
  // link growing. Applies to this link and later ones.
  void SetLinkLimit(uint64_t bytes);

  // Writes one record of `length` bytes. False when the link has no room now.
  bool Send(const void* data, uint32_t length);
  // True when a record of `length` bytes fits a segment at all (else no wait helps).
  static bool RecordFits(uint32_t length);
  // Waits up to `timeout_ms` until a record of `length` bytes fits (asleep until the
  // bus consumes when the link has wake-ups). False on time-out or a broken link.
  bool WaitRoom(uint32_t length, uint32_t timeout_ms) {
    return link_.WaitWritable(length, timeout_ms);
  }
  // Waits up to `timeout_ms` for the next record and copies it into `buffer`; its full
  // length goes to *length. False on time-out, a broken link, or a record longer than
  // `capacity` (which is then left in place).
  bool Receive(void* buffer, uint32_t capacity, uint32_t* length, uint32_t timeout_ms);

  // The link itself, for writing and reading in place.
  SfSMFLinkV2& link() { return link_; }
  bool IsConnected() const { return link_.IsValid() && link_.ReaderAttached(); }
  uint32_t request_value() const { return value_; }
  // The link name the bus knows this client by.
  const std::string& link_name() const { return link_name_; }

 private:
  SfSMFLinkV2 link_;
  uint32_t value_ = 0;
  std::string link_name_;
  bool use_wake_ = true;
  uint64_t link_limit_ = UINT64_MAX;
};

// A request value no other live client uses: this process's id and a counter, never 0.
uint32_t NextRequestValue();

}  // namespace orvex::client
