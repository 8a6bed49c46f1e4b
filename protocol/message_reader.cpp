#include "protocol/message_reader.h"

#include <algorithm>
#include <cstring>

#include "protocol/message_codes.h"
#include "protocol/message_layout.h"
#include "protocol/value_record.h"
#include "protocol/wire_format.h"

namespace orvex {
namespace {

// The bytes [offset, offset + size) of `msg`, cut to what the message holds.
MessageBytes Field(MessageBytes msg, size_t offset, size_t size) {
  if (offset >= msg.size()) return {};
  return msg.subspan(offset, std::min(size, msg.size() - offset));
}

// The bytes from `offset` to the end of the message.
MessageBytes Rest(MessageBytes msg, size_t offset) {
  return offset >= msg.size() ? MessageBytes{} : msg.subspan(offset);
}

// A NUL-terminated text without a count, ending at its field's end at the latest.
std::string PlainText(MessageBytes field) {
  const void* nul = std::memchr(field.data(), 0, field.size());
  const size_t n = nul == nullptr
                       ? field.size()
                       : static_cast<size_t>(static_cast<const uint8_t*>(nul) - field.data());
  return std::string(reinterpret_cast<const char*>(field.data()), n);
}

std::string CountedText(MessageBytes msg, size_t offset, size_t chars) {
  return ReadCountedText(Field(msg, offset, CountedTextFieldSize(chars)));
}

uint32_t U32At(MessageBytes msg, size_t offset) {
  return wire::LoadU32(msg.data() + offset);
}

}  // namespace

bool ReadRegister(MessageBytes msg, RegisterRequest* out) {
  if (msg.size() < layout::kRegisterSize) return false;
  out->sid = PlainText(Field(msg, layout::kRegisterSid, layout::kRegisterSidField));
  out->client_name = PlainText(Field(msg, layout::kRegisterName, layout::kRegisterNameField));
  out->publisher = msg[layout::kRegisterPublisher];
  out->subscriber = msg[layout::kRegisterSubscriber];
  out->holds_liveness =
      (wire::LoadU16(msg.data() + layout::kRegisterFlags) & layout::kRegisterHoldsLiveness) != 0;
  return true;
}

bool ReadRegisterReply(MessageBytes msg, RegisterReply* out) {
  if (msg.size() < layout::kReplySize) return false;
  out->result = msg[layout::kReplyResult];
  out->status = CountedText(msg, layout::kReplyStatus, layout::kReplyStatusChars);
  out->version_word = U32At(msg, layout::kReplyVersionWord);
  out->version_tag.assign(reinterpret_cast<const char*>(msg.data() + layout::kReplyVersionTag),
                          layout::kReplyVersionTagSize);
  out->build = U32At(msg, layout::kReplyBuild);
  return true;
}

bool ReadDisconnect(MessageBytes msg, std::string* reason) {
  if (msg.size() < kMessageHeaderSize) return false;
  *reason = CountedText(msg, layout::kDisconnectReason, layout::kDisconnectReasonChars);
  return true;
}

bool ReadHandle(MessageBytes msg, uint32_t* out) {
  if (msg.size() < layout::kHandleOnlySize) return false;
  *out = U32At(msg, layout::kHandle);
  return true;
}

bool ReadClassicHandleText(MessageBytes msg, HandleText* out) {
  if (!ReadHandle(msg, &out->handle)) return false;
  out->text = CountedText(msg, layout::kHandleText, layout::kTopicTextChars);
  return true;
}

bool ReadV2HandleText(MessageBytes msg, HandleText* out) {
  if (!ReadHandle(msg, &out->handle)) return false;
  return ReadLongText(Rest(msg, layout::kHandleText), &out->text);
}

bool ReadClassicHandleValue(MessageBytes msg, HandleValue* out) {
  if (!ReadHandle(msg, &out->handle)) return false;
  out->value = ReadClassicValueRecord(Rest(msg, kValueRecordOffset));
  const auto flags = Rest(msg, kValueRecordOffset + kValueRecordFlags);
  out->starts = !flags.empty() && (flags[0] & kValueStartsFlag) != 0;
  return true;
}

bool ReadV2HandleValue(MessageBytes msg, HandleValue* out) {
  if (!ReadHandle(msg, &out->handle)) return false;
  out->value = ReadV2ValueRecord(Rest(msg, kValueRecordOffset));
  return true;
}

bool ReadClassicRefresh(MessageBytes msg, RefreshItems* out) {
  if (msg.size() < layout::kRefreshItems) return false;
  // The count comes from the peer: a slot holds 29 items, and a short record fewer.
  const size_t held = (msg.size() - layout::kRefreshItems) / 4;
  const size_t n =
      std::min<size_t>({U32At(msg, layout::kRefreshCount), kClassicRefreshMaxItems, held});
  out->resize(n);
  for (size_t i = 0; i < n; ++i) (*out)[i] = U32At(msg, layout::kRefreshItems + 4 * i);
  return true;
}

bool ReadV2Refresh(MessageBytes msg, RefreshItems* out) {
  if (msg.size() < layout::kRefreshItems) return false;
  const size_t bytes =
      std::min<size_t>(U32At(msg, layout::kRefreshCount), msg.size() - layout::kRefreshItems);
  const size_t n = bytes >> 2;
  out->resize(n);
  for (size_t i = 0; i < n; ++i) (*out)[i] = U32At(msg, layout::kRefreshItems + 4 * i);
  return true;
}

bool ReadSetDefaultPublisher(MessageBytes msg, std::string* sid) {
  if (msg.size() < FixedMessageSize(MSG_SET_DEFAULT_PUBLISHER)) return false;
  *sid = PlainText(Rest(msg, layout::kDefaultSid));
  return true;
}

bool ReadMonitor(MessageBytes msg, MonitorRequest* out) {
  if (msg.size() < layout::kMonitorSize) return false;
  const uint8_t* f = msg.data() + layout::kMonitorFlags;
  *out = MonitorRequest{f[0], f[1], f[2], f[3], f[4], f[5]};
  return true;
}

bool ReadMonitorReply(MessageBytes msg, MonitorReply* out) {
  if (msg.size() < layout::kMonitorReplySize) return false;
  out->topic_count = U32At(msg, layout::kMonitorReplyTopics);
  out->client_count = U32At(msg, layout::kMonitorReplyClients);
  return true;
}

bool ReadClientAdded(MessageBytes msg, ClientAdded* out) {
  if (msg.size() < layout::kClientSid) return false;
  out->client_id = wire::LoadU16(msg.data() + layout::kClientId);
  out->publisher = msg[layout::kClientPublisher];
  out->subscriber = msg[layout::kClientSubscriber];
  out->sid = CountedText(msg, layout::kClientSid, layout::kClientSidChars);
  out->client_name = CountedText(msg, layout::kClientName, layout::kClientNameChars);
  return true;
}

bool ReadClientRemoved(MessageBytes msg, ClientRemoved* out) {
  if (msg.size() < layout::kClientPublisher) return false;
  out->client_id = wire::LoadU16(msg.data() + layout::kClientId);
  out->reason = CountedText(msg, layout::kClientReason, layout::kClientReasonChars);
  return true;
}

}  // namespace orvex
