#include "bus/value_parts.h"

#include "protocol/message_header.h"

namespace orvex {

ValueParts::ValueParts(const ClassicValueSplitter& from, std::shared_ptr<const RtdValue> value,
                       uint32_t tick)
    : value_(std::move(value)), splitter_(from, *value_), tick_(tick) {}

void ValueParts::WriteNext(uint16_t id, std::span<uint8_t> slot) {
  WriteMessageHeader(slot, MessageHeader{id, splitter_.NextCode(), tick_});
  splitter_.WriteNext(slot);
}

uint64_t ValueParts::bytes() const {
  return uint64_t{splitter_.PartsLeft()} * kClassicSlotSize;
}

}  // namespace orvex
