#include "bus/value_fanout.h"

#include "bus/bus_send.h"
#include "platform/clock.h"
#include "protocol/classic_splitter.h"
#include "protocol/message_codes.h"
#include "protocol/message_writer.h"

namespace orvex {
namespace {

// A buffer for the next encoding: the last one again unless a link still holds it.
std::vector<uint8_t>& Fresh(std::shared_ptr<std::vector<uint8_t>>& buffer) {
  if (!buffer || buffer.use_count() > 1) buffer = std::make_shared<std::vector<uint8_t>>();
  return *buffer;
}

}  // namespace

void ValueFanout::Reset(const RtdValue& value, std::span<const uint8_t> v2_message) {
  value_ = &value;
  v2_message_ = v2_message;
  tick_ = platform::TickCount();
  v2_ready_ = false;
  classic_ready_ = false;
  classic_kept_.reset();
}

bool ValueFanout::EncodeV2() {
  if (!v2_ready_) {
    v2_ready_ = true;
    std::vector<uint8_t>& out = Fresh(v2_);
    if (!v2_message_.empty()) {
      out.assign(v2_message_.begin(), v2_message_.end());  // forwarded, not re-encoded
      return true;
    }
    const size_t size = V2HandleValueSize(*value_);
    out.resize(size);
    if (size != 0 && WriteV2HandleValue(out, MSG_VALUE_V2, 0, *value_) != size) out.clear();
  }
  return !v2_->empty();
}

void ValueFanout::EncodeClassic() {
  if (classic_ready_) return;
  classic_ready_ = true;
  std::vector<uint8_t>& out = Fresh(classic_);
  out.assign(kClassicSlotSize, 0);
  ClassicValueSplitter splitter(kValueSplit, 0, *value_);
  splitter.WriteNext(out);
  classic_single_ = splitter.Done();
}

bool ValueFanout::Send(RtdConnection* c, uint32_t handle) {
  if (c == nullptr || value_ == nullptr) return false;
  // Keyed like SendValue's messages: a slow link conflates both alike.
  const uint64_t key = ConflationKey(MSG_VALUE_V2, handle);
  if (c->is_v2()) {
    if (!EncodeV2()) return false;
    return c->SendShared(tick_, MSG_VALUE_V2, v2_, handle, key);
  }
  EncodeClassic();
  if (!classic_single_)
    return SendValue(c, kValueSplit, MSG_VALUE_V2, handle, *value_, &classic_kept_);
  return c->SendShared(tick_, MSG_VALUE, classic_, handle, key);
}

}  // namespace orvex
