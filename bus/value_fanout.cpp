#include "bus/value_fanout.h"

#include <cstring>

#include "bus/bus_send.h"
#include "platform/clock.h"
#include "protocol/classic_splitter.h"
#include "protocol/message_codes.h"
#include "protocol/message_layout.h"
#include "protocol/message_writer.h"
#include "protocol/wire_format.h"

namespace orvex {

void ValueFanout::Reset(const RtdValue& value) {
  value_ = &value;
  tick_ = platform::TickCount();
  v2_ready_ = false;
  classic_ready_ = false;
}

bool ValueFanout::EncodeV2() {
  if (!v2_ready_) {
    v2_ready_ = true;
    const size_t size = V2HandleValueSize(*value_);
    v2_.resize(size);
    if (size != 0 && WriteV2HandleValue(v2_, MSG_VALUE_V2, 0, *value_) != size) v2_.clear();
  }
  return !v2_.empty();
}

void ValueFanout::EncodeClassic() {
  if (classic_ready_) return;
  classic_ready_ = true;
  classic_.assign(kClassicSlotSize, 0);
  ClassicValueSplitter splitter(kValueSplit, 0, *value_);
  splitter.WriteNext(classic_);
  classic_single_ = splitter.Done();
}

bool ValueFanout::Send(RtdConnection* c, uint32_t handle) {
  if (c == nullptr || value_ == nullptr) return false;
  uint16_t code = MSG_VALUE_V2;
  const std::vector<uint8_t>* encoded = &v2_;
  if (c->is_v2()) {
    if (!EncodeV2()) return false;
  } else {
    EncodeClassic();
    if (!classic_single_) return SendValue(c, kValueSplit, MSG_VALUE_V2, handle, *value_);
    code = MSG_VALUE;
    encoded = &classic_;
  }
  const auto size = static_cast<uint32_t>(encoded->size());
  // Keyed like SendValue's messages: a slow link conflates both alike.
  std::span<uint8_t> out = c->BeginAt(tick_, code, size, ConflationKey(MSG_VALUE_V2, handle));
  if (out.empty()) return false;
  // Begin wrote this link's header; the rest is the shared encoding with our handle.
  std::memcpy(out.data() + kMessageHeaderSize, encoded->data() + kMessageHeaderSize,
              size - kMessageHeaderSize);
  wire::StoreU32(out.data() + layout::kHandle, handle);
  return c->Commit();
}

}  // namespace orvex
