#include "bus/bus_send.h"

#include <algorithm>

#include "platform/clock.h"
#include "protocol/message_fields.h"
#include "protocol/message_writer.h"

namespace orvex {
namespace {

// Sends the splitter's parts while `more` says so, each a further part of the first;
// false when the link refused one. `*sent` counts the parts sent.
template <typename Splitter, typename More>
bool SendSplit(RtdConnection* c, Splitter& splitter, uint64_t key, More more, size_t* sent) {
  for (*sent = 0; !splitter.Done() && more(); ++*sent) {
    std::span<uint8_t> slot = c->Begin(splitter.NextCode(), kClassicSlotSize, key, *sent != 0);
    if (slot.empty()) return false;
    splitter.WriteNext(slot);
    if (!c->Commit()) return false;
  }
  return true;
}

bool SendValueParts(RtdConnection* c, SplitCodes codes, uint32_t handle, const RtdValue& value,
                    std::shared_ptr<const RtdValue>* kept, uint64_t key) {
  ClassicValueSplitter splitter(codes, handle, value);
  size_t sent = 0;
  if (!SendSplit(
          c, splitter, key, [c] { return c->HasRoom(); }, &sent))
    return false;
  if (splitter.Done()) return true;
  std::shared_ptr<const RtdValue> own;
  if (kept == nullptr) kept = &own;
  if (*kept == nullptr) *kept = std::make_shared<const RtdValue>(value);
  return c->SendParts(std::make_unique<ValueParts>(splitter, *kept, platform::TickCount()), key,
                      sent != 0);
}

}  // namespace

bool SendTopicText(RtdConnection* c, SplitCodes codes, uint16_t v2_code, uint32_t handle,
                   std::string_view text) {
  if (c == nullptr) return false;
  if (c->is_v2()) {
    const auto size = static_cast<uint32_t>(V2HandleTextSize(text));
    return SendFixed(c, v2_code, size, [&](MessageBuffer out) {
      return WriteV2HandleText(out, v2_code, handle, text);
    });
  }
  ClassicTextSplitter splitter(codes, handle, text);
  size_t sent = 0;
  return SendSplit(
      c, splitter, 0, [] { return true; }, &sent);
}

bool SendValue(RtdConnection* c, SplitCodes codes, uint16_t v2_code, uint32_t handle,
               const RtdValue& value, std::shared_ptr<const RtdValue>* kept) {
  if (c == nullptr) return false;
  if (c->is_v2()) {
    const size_t size = V2HandleValueSize(value);
    if (size == 0) return false;
    return SendFixed(
        c, v2_code, static_cast<uint32_t>(size),
        [&](MessageBuffer out) { return WriteV2HandleValue(out, v2_code, handle, value); },
        ConflationKey(v2_code, handle));
  }
  return SendValueParts(c, codes, handle, value, kept, ConflationKey(v2_code, handle));
}

bool SendShortText(RtdConnection* c, uint16_t code, uint16_t v2_code, uint32_t handle,
                   std::string_view text) {
  if (c == nullptr) return false;
  const uint64_t key = ConflationKey(v2_code, handle);
  if (c->is_v2()) {
    const auto size = static_cast<uint32_t>(V2HandleTextSize(text));
    return SendFixed(
        c, v2_code, size,
        [&](MessageBuffer out) { return WriteV2HandleText(out, v2_code, handle, text); }, key);
  }
  return SendFixed(
      c, code, kClassicSlotSize,
      [&](MessageBuffer out) { return WriteClassicHandleText(out, code, handle, text); }, key);
}

bool SendRefresh(RtdConnection* c, std::span<const uint32_t> ids) {
  if (c == nullptr) return false;
  if (c->is_v2()) {
    const auto size = static_cast<uint32_t>(V2RefreshSize(ids.size()));
    return SendFixed(c, MSG_REFRESH_V2, size,
                     [&](MessageBuffer out) { return WriteV2Refresh(out, ids); });
  }
  size_t offset = 0;
  do {
    const size_t n = std::min(kClassicRefreshMaxItems, ids.size() - offset);
    const auto batch = ids.subspan(offset, n);
    if (!SendFixed(c, MSG_REFRESH, kClassicSlotSize,
                   [&](MessageBuffer out) { return WriteClassicRefresh(out, batch); })) {
      return false;
    }
    offset += n;
  } while (offset < ids.size());
  return true;
}

bool SendDisconnect(RtdConnection* c, std::string_view reason) {
  if (c == nullptr) return false;
  c->PrepareFarewell();
  return SendFixed(c, MSG_DISCONNECT, kClassicSlotSize,
                   [&](MessageBuffer out) { return WriteDisconnect(out, reason); });
}

bool SendHandleOnly(RtdConnection* c, uint16_t code, uint32_t handle) {
  return SendFixed(c, code, 12,
                   [&](MessageBuffer out) { return WriteHandleOnly(out, code, handle); });
}

}  // namespace orvex
