#include "protocol/message_header.h"

#include "protocol/message_codes.h"
#include "protocol/wire_format.h"

namespace orvex {

bool ReadMessageHeader(std::span<const uint8_t> msg, MessageHeader* out) {
  if (msg.size() < kMessageHeaderSize) return false;
  out->connection_id = wire::LoadU16(msg.data());
  out->code = wire::LoadU16(msg.data() + 2);
  out->tick = wire::LoadU32(msg.data() + 4);
  return true;
}

bool WriteMessageHeader(std::span<uint8_t> msg, const MessageHeader& header) {
  if (msg.size() < kMessageHeaderSize) return false;
  wire::StoreU16(msg.data(), header.connection_id);
  wire::StoreU16(msg.data() + 2, header.code);
  wire::StoreU32(msg.data() + 4, header.tick);
  return true;
}

bool StampConnectionId(std::span<uint8_t> msg, uint16_t connection_id) {
  if (msg.size() < kMessageHeaderSize) return false;
  wire::StoreU16(msg.data(), connection_id);
  return true;
}

}  // namespace orvex
