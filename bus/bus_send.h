#pragma once
// Sending bus messages to one connection, in the form its link kind takes: classic
// 128-byte messages (long topic texts and values split into parts) or exact-size V2
// records. Each returns false when the link refused a message; parts already sent stay
// sent. A null connection sends nothing.
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "bus/rtd_connection.h"
#include "protocol/classic_splitter.h"
#include "protocol/rtd_value.h"

namespace orvex {

// What a newer message replaces while a slow link's messages are held: the value (or
// text) of the same kind for the same handle or topic.
inline uint64_t ConflationKey(uint16_t code, uint32_t handle) {
  return (uint64_t{code} << 32) | handle;
}

// A fixed-layout message: `write` fills the buffer (128 bytes classic, `size` bytes V2)
// and returns the size written, 0 to drop the message. `key`: see RtdConnection::Begin.
template <typename Write>
bool SendFixed(RtdConnection* c, uint16_t code, uint32_t size, Write write, uint64_t key = 0) {
  if (c == nullptr) return false;
  std::span<uint8_t> out = c->Begin(code, size, key);
  if (out.empty()) return false;
  if (write(out) == 0) {
    c->Cancel();
    return false;
  }
  return c->Commit();
}

// MSG_TOPIC or MSG_TOPIC_ADDED (with their part codes) on classic links, the V2 code
// `v2_code` on V2 links.
bool SendTopicText(RtdConnection* c, SplitCodes codes, uint16_t v2_code, uint32_t handle,
                   std::string_view text);
// MSG_VALUE or MSG_TOPIC_VALUE (with their part codes) or `v2_code`. A V2 value beyond
// the largest record is not sent. The parts of a classic value go into the link while
// it has room; the rest are made as it drains (RtdConnection::SendParts), from a copy
// of `value` kept in `*kept` (made there when empty, so the links of one fan-out
// share it; null: a copy of this call's own).
bool SendValue(RtdConnection* c, SplitCodes codes, uint16_t v2_code, uint32_t handle,
               const RtdValue& value, std::shared_ptr<const RtdValue>* kept = nullptr);
// MSG_TEXT_A/MSG_TEXT_B (cut to 113 characters) or their V2 forms.
bool SendShortText(RtdConnection* c, uint16_t code, uint16_t v2_code, uint32_t handle,
                   std::string_view text);
// A refresh of `ids`: one MSG_REFRESH_V2, or MSG_REFRESH messages of at most 29 ids
// (an empty list is one message with no ids).
bool SendRefresh(RtdConnection* c, std::span<const uint32_t> ids);
// MSG_DISCONNECT with `reason`: the link's last words, so messages still held for it
// are dropped and its bound no longer applies (the reason always reaches the link).
bool SendDisconnect(RtdConnection* c, std::string_view reason);
// MSG_TOPIC_CLOSE or MSG_TOPIC_REMOVED.
bool SendHandleOnly(RtdConnection* c, uint16_t code, uint32_t handle);

}  // namespace orvex
