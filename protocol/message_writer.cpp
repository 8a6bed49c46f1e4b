#include "protocol/message_writer.h"

#include <cstring>

#include "protocol/message_codes.h"
#include "protocol/message_layout.h"
#include "protocol/message_text.h"
#include "protocol/value_record.h"
#include "protocol/wire_format.h"

namespace orvex {
namespace {

// Starts a fixed-layout message of `size` bytes: checks room, sets the code and zeroes
// the body so no stale slot content leaks to the peer.
bool Begin(MessageBuffer out, size_t size, uint16_t code) {
  if (out.size() < size) return false;
  wire::StoreU16(out.data() + 2, code);
  std::memset(out.data() + kMessageHeaderSize, 0, out.size() - kMessageHeaderSize);
  return true;
}

// A NUL-terminated text without a count, cut to `field` - 1 characters.
void WritePlainText(uint8_t* p, size_t field, std::string_view text) {
  text = TextBeforeNul(text);
  const size_t n = std::min(text.size(), field - 1);
  if (n != 0) std::memcpy(p, text.data(), n);
  p[n] = 0;
}

bool IsClassicTextCode(uint16_t code) {
  switch (code) {
    case MSG_TOPIC:
    case MSG_TEXT_A:
    case MSG_TEXT_B:
    case MSG_TOPIC_ADDED:
    case MSG_TOPIC_PART:
    case MSG_TOPIC_LAST:
    case MSG_TOPIC_ADDED_PART:
    case MSG_TOPIC_ADDED_LAST:
      return true;
    default:
      return false;
  }
}

bool IsV2TextCode(uint16_t code) {
  return code == MSG_TOPIC_V2 || code == MSG_TEXT_A_V2 || code == MSG_TEXT_B_V2 ||
         code == MSG_TOPIC_ADDED_V2;
}

}  // namespace

size_t WriteRegister(MessageBuffer out, const RegisterRequest& request) {
  if (!Begin(out, layout::kRegisterSize, MSG_REGISTER)) return 0;
  uint8_t* p = out.data();
  WritePlainText(p + layout::kRegisterSid, layout::kRegisterSidField, request.sid);
  WritePlainText(p + layout::kRegisterName, layout::kRegisterNameField, request.client_name);
  p[layout::kRegisterPublisher] = request.publisher;
  p[layout::kRegisterSubscriber] = request.subscriber;
  if (request.holds_liveness)
    wire::StoreU16(p + layout::kRegisterFlags, layout::kRegisterHoldsLiveness);
  return layout::kRegisterSize;
}

size_t WriteRegisterReply(MessageBuffer out, bool accepted, std::string_view status) {
  if (!Begin(out, layout::kReplySize, MSG_REGISTER_REPLY)) return 0;
  uint8_t* p = out.data();
  p[layout::kReplyResult] = accepted ? 1 : 0;
  WriteCountedText(out.subspan(layout::kReplyStatus), layout::kReplyStatusChars, status);
  wire::StoreU32(p + layout::kReplyVersionWord, layout::kVersionWord);
  std::memcpy(p + layout::kReplyVersionTag, layout::kVersionTag, layout::kReplyVersionTagSize);
  wire::StoreU32(p + layout::kReplyBuild, layout::kBuildNumber);
  return layout::kReplySize;
}

size_t WriteDisconnect(MessageBuffer out, std::string_view reason) {
  if (!Begin(out, kClassicSlotSize, MSG_DISCONNECT)) return 0;
  WriteCountedText(out.subspan(layout::kDisconnectReason), layout::kDisconnectReasonChars, reason);
  return kClassicSlotSize;
}

size_t WriteHeartbeat(MessageBuffer out, uint32_t start_tick) {
  if (!Begin(out, layout::kHandleOnlySize, MSG_HEARTBEAT)) return 0;
  wire::StoreU32(out.data() + layout::kHandle, start_tick);
  return layout::kHandleOnlySize;
}

size_t WriteHandleOnly(MessageBuffer out, uint16_t code, uint32_t handle) {
  if (code != MSG_TOPIC_CLOSE && code != MSG_TOPIC_REMOVED) return 0;
  if (!Begin(out, layout::kHandleOnlySize, code)) return 0;
  wire::StoreU32(out.data() + layout::kHandle, handle);
  return layout::kHandleOnlySize;
}

size_t WriteHeaderOnly(MessageBuffer out, uint16_t code) {
  if (code != MSG_CLOSE_ALL && code != MSG_ACCEPTED && code != MSG_DROPPED) return 0;
  if (!Begin(out, kMessageHeaderSize, code)) return 0;
  return kMessageHeaderSize;
}

size_t WriteClassicHandleText(MessageBuffer out, uint16_t code, uint32_t handle,
                              std::string_view text) {
  if (!IsClassicTextCode(code) || !Begin(out, kClassicSlotSize, code)) return 0;
  wire::StoreU32(out.data() + layout::kHandle, handle);
  WriteCountedText(out.subspan(layout::kHandleText), layout::kTopicTextChars, text);
  return kClassicSlotSize;
}

size_t WriteClassicRefresh(MessageBuffer out, std::span<const uint32_t> items) {
  if (items.size() > kClassicRefreshMaxItems || !Begin(out, kClassicSlotSize, MSG_REFRESH))
    return 0;
  wire::StoreU32(out.data() + layout::kRefreshCount, static_cast<uint32_t>(items.size()));
  for (size_t i = 0; i < items.size(); ++i) {
    wire::StoreU32(out.data() + layout::kRefreshItems + 4 * i, items[i]);
  }
  return kClassicSlotSize;
}

size_t WriteSetDefaultPublisher(MessageBuffer out, std::string_view sid) {
  sid = TextBeforeNul(sid);
  const size_t size = layout::kDefaultSid + sid.size() + 1;
  if (!Begin(out, size, MSG_SET_DEFAULT_PUBLISHER)) return 0;
  WritePlainText(out.data() + layout::kDefaultSid, sid.size() + 1, sid);
  return size;
}

size_t WriteMonitor(MessageBuffer out, const MonitorRequest& request) {
  if (!Begin(out, layout::kMonitorSize, MSG_MONITOR)) return 0;
  uint8_t* f = out.data() + layout::kMonitorFlags;
  f[0] = request.send_topics;
  f[1] = request.follow_topics;
  f[2] = request.send_values;
  f[3] = request.follow_values;
  f[4] = request.send_clients;
  f[5] = request.follow_clients;
  return layout::kMonitorSize;
}

size_t WriteMonitorReply(MessageBuffer out, const MonitorReply& reply) {
  if (!Begin(out, layout::kMonitorReplySize, MSG_MONITOR_REPLY)) return 0;
  wire::StoreU32(out.data() + layout::kMonitorReplyTopics, reply.topic_count);
  wire::StoreU32(out.data() + layout::kMonitorReplyClients, reply.client_count);
  return layout::kMonitorReplySize;
}

size_t WriteClientAdded(MessageBuffer out, const ClientAdded& client) {
  if (!Begin(out, kClassicSlotSize, MSG_CLIENT_ADDED)) return 0;
  wire::StoreU16(out.data() + layout::kClientId, client.client_id);
  out[layout::kClientPublisher] = client.publisher;
  out[layout::kClientSubscriber] = client.subscriber;
  WriteCountedText(out.subspan(layout::kClientSid), layout::kClientSidChars, client.sid);
  WriteCountedText(out.subspan(layout::kClientName), layout::kClientNameChars, client.client_name);
  return kClassicSlotSize;
}

size_t WriteClientRemoved(MessageBuffer out, const ClientRemoved& client) {
  if (!Begin(out, kClassicSlotSize, MSG_CLIENT_REMOVED)) return 0;
  wire::StoreU16(out.data() + layout::kClientId, client.client_id);
  WriteCountedText(out.subspan(layout::kClientReason), layout::kClientReasonChars, client.reason);
  return kClassicSlotSize;
}

size_t V2HandleTextSize(std::string_view text) {
  return layout::kHandleText + LongTextSize(text);
}

size_t WriteV2HandleText(MessageBuffer out, uint16_t code, uint32_t handle, std::string_view text) {
  const size_t size = V2HandleTextSize(text);
  if (!IsV2TextCode(code) || out.size() < size) return 0;
  wire::StoreU16(out.data() + 2, code);
  wire::StoreU32(out.data() + layout::kHandle, handle);
  WriteLongText(out.subspan(layout::kHandleText), text);
  return size;
}

size_t V2RefreshSize(size_t count) {
  return layout::kRefreshItems + 4 * count;
}

size_t WriteV2Refresh(MessageBuffer out, std::span<const uint32_t> items) {
  // The byte count is a u32.
  if (items.size() > 0x3FFFFFFF) return 0;
  const size_t size = V2RefreshSize(items.size());
  if (out.size() < size) return 0;
  wire::StoreU16(out.data() + 2, MSG_REFRESH_V2);
  wire::StoreU32(out.data() + layout::kRefreshCount, static_cast<uint32_t>(4 * items.size()));
  for (size_t i = 0; i < items.size(); ++i) {
    wire::StoreU32(out.data() + layout::kRefreshItems + 4 * i, items[i]);
  }
  return size;
}

size_t V2HandleValueSize(const RtdValue& value) {
  const size_t record = V2ValueRecordSize(value);
  return record == 0 ? 0 : kValueRecordOffset + record;
}

size_t WriteV2HandleValue(MessageBuffer out, uint16_t code, uint32_t handle,
                          const RtdValue& value) {
  if (code != MSG_VALUE_V2 && code != MSG_TOPIC_VALUE_V2) return 0;
  const size_t size = V2HandleValueSize(value);
  if (size == 0 || out.size() < size) return 0;
  wire::StoreU16(out.data() + 2, code);
  wire::StoreU32(out.data() + layout::kHandle, handle);
  WriteV2ValueRecord(out.subspan(kValueRecordOffset), value);
  return size;
}

}  // namespace orvex
