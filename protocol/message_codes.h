#pragma once
// Message codes of the bus protocol and the fixed sizes that go with them.
#include <cstddef>
#include <cstdint>

namespace orvex {

inline constexpr uint16_t MSG_REGISTER = 1;
inline constexpr uint16_t MSG_REGISTER_REPLY = 2;
inline constexpr uint16_t MSG_DISCONNECT = 3;
inline constexpr uint16_t MSG_HEARTBEAT = 5;
inline constexpr uint16_t MSG_TOPIC = 7;
inline constexpr uint16_t MSG_REFRESH = 8;
inline constexpr uint16_t MSG_TOPIC_CLOSE = 9;
inline constexpr uint16_t MSG_CLOSE_ALL = 11;
inline constexpr uint16_t MSG_VALUE = 13;
inline constexpr uint16_t MSG_TEXT_A = 14;
inline constexpr uint16_t MSG_TEXT_B = 15;
inline constexpr uint16_t MSG_ACCEPTED = 17;
inline constexpr uint16_t MSG_DROPPED = 18;
inline constexpr uint16_t MSG_SET_DEFAULT_PUBLISHER = 19;
inline constexpr uint16_t MSG_MONITOR = 32;
inline constexpr uint16_t MSG_MONITOR_REPLY = 33;
inline constexpr uint16_t MSG_TOPIC_ADDED = 34;
inline constexpr uint16_t MSG_TOPIC_REMOVED = 35;
inline constexpr uint16_t MSG_TOPIC_VALUE = 36;
inline constexpr uint16_t MSG_CLIENT_ADDED = 37;
inline constexpr uint16_t MSG_CLIENT_REMOVED = 38;
inline constexpr uint16_t MSG_TOPIC_PART = 48;
inline constexpr uint16_t MSG_TOPIC_LAST = 49;
inline constexpr uint16_t MSG_VALUE_PART = 50;
inline constexpr uint16_t MSG_VALUE_LAST = 51;
inline constexpr uint16_t MSG_TOPIC_ADDED_PART = 52;
inline constexpr uint16_t MSG_TOPIC_ADDED_LAST = 53;
inline constexpr uint16_t MSG_TOPIC_VALUE_PART = 54;
inline constexpr uint16_t MSG_TOPIC_VALUE_LAST = 55;
inline constexpr uint16_t MSG_TOPIC_V2 = 64;
inline constexpr uint16_t MSG_REFRESH_V2 = 65;
inline constexpr uint16_t MSG_VALUE_V2 = 66;
inline constexpr uint16_t MSG_TEXT_B_V2 = 67;
inline constexpr uint16_t MSG_TEXT_A_V2 = 68;
inline constexpr uint16_t MSG_TOPIC_ADDED_V2 = 69;
inline constexpr uint16_t MSG_TOPIC_VALUE_V2 = 70;

// Every message starts with: u16 connection id, u16 code, u32 sender tick.
inline constexpr size_t kMessageHeaderSize = 8;
// A classic link carries each message in one slot of this size.
inline constexpr size_t kClassicSlotSize = 128;

// The size a message of `code` has on the wire when its size is fixed (for
// MSG_REGISTER and MSG_SET_DEFAULT_PUBLISHER: the least size); 0 for the V2 forms,
// whose size follows their content, and for unknown codes.
size_t FixedMessageSize(uint16_t code);

// True for the codes 64 to 70, which only V2 links carry.
constexpr bool IsV2Code(uint16_t code) {
  return code >= MSG_TOPIC_V2 && code <= MSG_TOPIC_VALUE_V2;
}

}  // namespace orvex
