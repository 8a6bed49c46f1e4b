#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "bus/rtd_connection.h"
#include "protocol/rtd_value.h"

namespace orvex {

// One published value on its way to every subscriber: encoded once per link kind
// (MSG_VALUE_V2, or MSG_VALUE when it fits one classic message) and copied into each
// link with only the handle changed; a link that must hold it keeps the one encoding
// by reference. The buffers are kept from value to value while no link holds them, so
// the fan-out allocates nothing once they have grown. Server thread.
class ValueFanout {
 public:
  // Starts a new value, stamped with the tick of now; `value` must outlive the Send
  // calls that follow. `v2_message`, when not empty, is the MSG_VALUE_V2 message the
  // value came in, its record checked to be exactly the value's (IsCanonicalV2Record):
  // V2 links get a copy of it with their header and handle, nothing is encoded again.
  // It too must outlive the Send calls.
  void Reset(const RtdValue& value, std::span<const uint8_t> v2_message = {});
  // Sends the value to `c` under `handle` (split on a classic link when it must be, as
  // SendValue does). False when the link refused it or `c` is null.
  bool Send(RtdConnection* c, uint32_t handle);

 private:
  bool EncodeV2();
  void EncodeClassic();

  const RtdValue* value_ = nullptr;
  std::span<const uint8_t> v2_message_;
  uint32_t tick_ = 0;  // one clock read per value, not one per subscriber
  // The whole V2 message; empty when it cannot be sent.
  std::shared_ptr<std::vector<uint8_t>> v2_;
  bool v2_ready_ = false;
  // One classic message, when the value fits one.
  std::shared_ptr<std::vector<uint8_t>> classic_;
  bool classic_ready_ = false;
  bool classic_single_ = false;
  // A copy of the value for the links that get its classic parts as they drain.
  std::shared_ptr<const RtdValue> classic_kept_;
};

}  // namespace orvex
