#pragma once
#include <cstdint>
#include <span>

namespace orvex {

// The 8-byte header every bus message starts with.
struct MessageHeader {
  uint16_t connection_id = 0;
  uint16_t code = 0;
  uint32_t tick = 0;
};

// Reads the header of `msg`. Returns false when the message is shorter than a header.
bool ReadMessageHeader(std::span<const uint8_t> msg, MessageHeader* out);

// Writes `header` into the first 8 bytes of `msg`. Returns false, writing nothing, when
// `msg` is shorter than a header.
bool WriteMessageHeader(std::span<uint8_t> msg, const MessageHeader& header);

// Overwrites the connection id of `msg`; the bus does this on every message it
// receives, so a client never fills in its own id. False when `msg` is too short.
bool StampConnectionId(std::span<uint8_t> msg, uint16_t connection_id);

}  // namespace orvex
