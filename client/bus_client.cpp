#include "client/bus_client.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/clock.h"
#include "platform/named_mapping.h"
#include "protocol/classic_splitter.h"
#include "protocol/message_codes.h"
#include "protocol/message_header.h"
#include "protocol/message_reader.h"
#include "protocol/message_writer.h"
#include "protocol/publisher_sid.h"
#include "protocol/value_record.h"

namespace orvex::client {
namespace {

constexpr uint32_t kV2SpinMs = 2;
// The bus sends a heartbeat at least this often to a link with nothing else to carry.
// Receive sleeps a little longer than that between looks at the bus: a live bus wakes
// it first, and a killed one (which can set nothing, so nothing to wait on) is noticed
// at the next look.
constexpr uint32_t kBusHeartbeatMs = 5000;
constexpr uint32_t kWatchSliceMs = kBusHeartbeatMs + 1000;

using Slot = std::array<uint8_t, kClassicSlotSize>;

}  // namespace

uint16_t ClassicCodeOf(uint16_t code) {
  switch (code) {
    case MSG_TOPIC_V2:
      return MSG_TOPIC;
    case MSG_REFRESH_V2:
      return MSG_REFRESH;
    case MSG_VALUE_V2:
      return MSG_VALUE;
    case MSG_TEXT_A_V2:
      return MSG_TEXT_A;
    case MSG_TEXT_B_V2:
      return MSG_TEXT_B;
    case MSG_TOPIC_ADDED_V2:
      return MSG_TOPIC_ADDED;
    case MSG_TOPIC_VALUE_V2:
      return MSG_TOPIC_VALUE;
    default:
      return code;
  }
}

bool BusClient::Connect(const std::string& base, LinkKind kind, uint32_t timeout_ms) {
  base_ = base;
  registration_.reset();
  open_topics_.clear();
  monitor_.reset();
  return Open(kind, timeout_ms);
}

bool BusClient::Reconnect(uint32_t timeout_ms) {
  const uint32_t start = platform::TickCount();
  if (!Open(kind_, timeout_ms)) return false;
  if (registration_) {
    const RegisterRequest r = *registration_;
    const uint32_t spent = platform::TickCount() - start;
    if (!RegisterAndWait(r.sid, r.client_name, r.publisher != 0, r.subscriber != 0, nullptr,
                         spent < timeout_ms ? timeout_ms - spent : 0)) {
      Close();
      return false;
    }
  }
  const std::map<uint32_t, std::string> topics = open_topics_;
  for (const auto& [handle, text] : topics) {
    if (!RequestTopic(handle, text)) {
      Close();
      return false;
    }
  }
  if (monitor_ && !Monitor(*monitor_)) {
    Close();
    return false;
  }
  return true;
}

bool BusClient::Open(LinkKind kind, uint32_t timeout_ms) {
  const bool opened = OpenLink(kind, timeout_ms);
  name_lock_held_ = !opened && platform::NameLockWasHeld();
  return opened;
}

bool BusClient::OpenLink(LinkKind kind, uint32_t timeout_ms) {
  Close();
  held_mutex_.clear();
  const std::string& base = base_;
  kind_ = kind;
  if (kind == LinkKind::kClassic) {
    auto c = std::make_unique<ClassicClient>();
    static uint32_t word = 0;
    const uint32_t request_word = NextRequestValue() + ++word;
    if (c->Connect(base, request_word, classic_slot_size_, classic_slot_count_, timeout_ms) !=
        ClassicResult::kConnected) {
      held_mutex_ = c->held_mutex();
      return false;
    }
    c->SetQueueLimit(link_limit_);
    classic_ = std::move(c);
    watch_.Start(base, watch_options_);
    HoldLiveness();
    return true;
  }
  auto c = std::make_unique<V2Client>();
  c->set_use_wake(kind == LinkKind::kV2);
  c->SetLinkLimit(link_limit_);
  if (!c->Connect(base, timeout_ms)) return false;
  v2_ = std::move(c);
  watch_.Start(base, watch_options_);
  HoldLiveness();
  return true;
}

std::string BusClient::link_name() const {
  if (classic_ != nullptr) return classic_->channel_name();
  return v2_ != nullptr ? v2_->link_name() : std::string();
}

void BusClient::HoldLiveness() {
  if (!hold_liveness_) return;
  // Without it the bus still notices this client's end, by its silence.
  liveness_.Take(LivenessMutexName(link_name(), classic_ == nullptr));
}

void BusClient::Close() {
  watch_.Stop();
  classic_.reset();
  v2_.reset();
  inbox_head_ = 0;
  inbox_count_ = 0;
  // Released after the link: the bus reads what is still in it before it lets it go.
  liveness_.Release();
  joiner_ = SplitJoiner();
  parts_ = 0;
  closed_by_bus_ = false;
  closed_reason_.clear();
}

bool BusClient::SendMessage(uint16_t code, std::span<uint8_t> message) {
  WriteMessageHeader(message, MessageHeader{0, code, platform::TickCount()});
  return SendRaw(message);
}

void BusClient::SetLinkLimit(uint64_t bytes) {
  link_limit_ = bytes;
  if (classic_ != nullptr) classic_->SetQueueLimit(bytes);
  if (v2_ != nullptr) v2_->SetLinkLimit(bytes);
}

uint64_t BusClient::HeldBytes() {
  if (v2_ != nullptr) return v2_->link().WriterBytes();
  if (classic_ == nullptr) return 0;
  return uint64_t{classic_->channel()->queue().pending_count()} * classic_->slot_size();
}

bool BusClient::SendRaw(std::span<const uint8_t> message) {
  send_failure_ = SendFailure::kNone;
  const uint32_t size = static_cast<uint32_t>(message.size());
  if ((v2_ != nullptr && (message.size() > UINT32_MAX || !V2Client::RecordFits(size))) ||
      (classic_ == nullptr && v2_ == nullptr)) {
    return SendFailed(SendFailure::kRefused);
  }
  const uint32_t start = platform::TickCount();
  for (;;) {
    // A dead bus reads nothing: what is sent now would be lost without a word.
    if (watch_.CheckOwnership() != BusLoss::kNone) return SendFailed(SendFailure::kRefused);
    if (classic_ != nullptr && classic_->QueueHasRoom()) {
      return classic_->Send(message.data(), message.size()) || SendFailed(SendFailure::kRefused);
    }
    if (v2_ != nullptr && v2_->Send(message.data(), size)) return true;
    if (v2_ != nullptr ? v2_->link().IsBroken() : classic_->channel()->broken()) {
      return SendFailed(SendFailure::kRefused);
    }
    // Full: wait for the bus to take some, looking at the bus between slices.
    const uint32_t spent = platform::TickCount() - start;
    if (spent >= send_timeout_ms_) return SendFailed(SendFailure::kTimedOut);
    const uint32_t slice = std::min(send_timeout_ms_ - spent, kWatchSliceMs);
    if (classic_ != nullptr) {
      classic_->WaitQueueRoom(slice);
    } else {
      v2_->WaitRoom(size, slice);
    }
  }
}

bool BusClient::Register(std::string_view sid, std::string_view name, bool publisher,
                         bool subscriber) {
  Slot slot{};
  // The bus routes topics only to a publisher whose SID is registered in normalised
  // form; " abc" would be accepted, listed as ABC and never asked for a topic.
  const std::string registered = publisher ? NormalizeSid(sid) : std::string(sid);
  RegisterRequest request{registered, std::string(name), publisher ? uint8_t{1} : uint8_t{0},
                          subscriber ? uint8_t{1} : uint8_t{0}};
  request.holds_liveness = liveness_.held();
  const size_t size = WriteRegister(slot, request);
  registration_ = request;
  return size != 0 && SendMessage(MSG_REGISTER, std::span<uint8_t>(slot).first(size));
}

bool BusClient::RegisterAndWait(std::string_view sid, std::string_view name, bool publisher,
                                bool subscriber, RegisterReply* reply, uint32_t timeout_ms) {
  if (!Register(sid, name, publisher, subscriber)) return false;
  BusReceived got;
  if (!ReceiveCode(MSG_REGISTER_REPLY, &got, timeout_ms)) return false;
  RegisterReply local;
  if (reply == nullptr) reply = &local;
  return ReadRegisterReply(got.bytes, reply) && reply->result == 1;
}

bool BusClient::RequestTopic(uint32_t handle, std::string_view text) {
  open_topics_[handle] = std::string(text);
  if (kind_ != LinkKind::kClassic) {
    std::vector<uint8_t> message(V2HandleTextSize(text));
    WriteV2HandleText(message, MSG_TOPIC_V2, handle, text);
    return SendMessage(MSG_TOPIC_V2, message);
  }
  ClassicTextSplitter splitter(kTopicSplit, handle, text);
  while (!splitter.Done()) {
    Slot slot{};
    const uint16_t code = splitter.NextCode();
    splitter.WriteNext(slot);
    if (!SendMessage(code, slot)) return false;
  }
  return true;
}

bool BusClient::CloseTopic(uint32_t handle) {
  open_topics_.erase(handle);
  Slot slot{};
  const size_t size = WriteHandleOnly(slot, MSG_TOPIC_CLOSE, handle);
  return SendMessage(MSG_TOPIC_CLOSE, std::span<uint8_t>(slot).first(size));
}

bool BusClient::CloseAll() {
  open_topics_.clear();
  Slot slot{};
  const size_t size = WriteHeaderOnly(slot, MSG_CLOSE_ALL);
  return SendMessage(MSG_CLOSE_ALL, std::span<uint8_t>(slot).first(size));
}

bool BusClient::Publish(uint32_t topic_id, const RtdValue& value) {
  send_failure_ = SendFailure::kNone;
  // No link carries a longer payload: a V2 record has no room for its length, and the
  // bus would never join the classic parts of one (nor could a V2 reader take it).
  if (V2ValueRecordSize(value) == 0) return SendFailed(SendFailure::kRefused);
  if (kind_ != LinkKind::kClassic) {
    const size_t size = V2HandleValueSize(value);
    std::vector<uint8_t> message(size);
    WriteV2HandleValue(message, MSG_VALUE_V2, topic_id, value);
    return SendMessage(MSG_VALUE_V2, message);
  }
  ClassicValueSplitter splitter(kValueSplit, topic_id, value);
  uint32_t sent = 0;
  while (!splitter.Done()) {
    Slot slot{};
    const uint16_t code = splitter.NextCode();
    splitter.WriteNext(slot);
    if (!SendMessage(code, slot)) {
      // The parts still queued here would only be a torn value: take them back. What
      // the bus already has is dropped there when the next value starts.
      if (sent != 0) classic_->channel()->queue().DropNewest(sent);
      return false;
    }
    ++sent;
  }
  return true;
}

bool BusClient::PublishText(uint32_t topic_id, std::string_view text, bool kind_b) {
  if (kind_ != LinkKind::kClassic) {
    const uint16_t code = kind_b ? MSG_TEXT_B_V2 : MSG_TEXT_A_V2;
    std::vector<uint8_t> message(V2HandleTextSize(text));
    WriteV2HandleText(message, code, topic_id, text);
    return SendMessage(code, message);
  }
  const uint16_t code = kind_b ? MSG_TEXT_B : MSG_TEXT_A;
  Slot slot{};
  WriteClassicHandleText(slot, code, topic_id, text);
  return SendMessage(code, slot);
}

bool BusClient::Refresh(std::span<const uint32_t> handles) {
  if (kind_ != LinkKind::kClassic) {
    std::vector<uint8_t> message(V2RefreshSize(handles.size()));
    WriteV2Refresh(message, handles);
    return SendMessage(MSG_REFRESH_V2, message);
  }
  Slot slot{};
  if (WriteClassicRefresh(slot, handles) == 0) return false;
  return SendMessage(MSG_REFRESH, slot);
}

bool BusClient::SetDefaultPublisher(std::string_view sid) {
  std::vector<uint8_t> message(kClassicSlotSize);
  const size_t size = WriteSetDefaultPublisher(message, sid);
  if (size == 0) return false;
  message.resize(size);
  return SendMessage(MSG_SET_DEFAULT_PUBLISHER, message);
}

bool BusClient::Monitor(const MonitorRequest& request) {
  monitor_ = request;
  Slot slot{};
  const size_t size = WriteMonitor(slot, request);
  return SendMessage(MSG_MONITOR, std::span<uint8_t>(slot).first(size));
}

bool BusClient::SendDisconnect(std::string_view reason) {
  Slot slot{};
  WriteDisconnect(slot, reason);
  return SendMessage(MSG_DISCONNECT, slot);
}

bool BusClient::Flush(uint32_t timeout_ms) {
  if (classic_ != nullptr) return classic_->Flush(timeout_ms);
  return v2_ != nullptr;
}

bool BusClient::Drain(uint32_t timeout_ms) {
  if (v2_ == nullptr) return Flush(timeout_ms);
  return v2_->WaitBusReachedEverySegment(
      timeout_ms, [this] { return watch_.CheckOwnership() != BusLoss::kNone; });
}

bool BusClient::KeepAlive() {
  Slot slot{};
  const size_t size = WriteHeartbeat(slot, 0);
  return SendMessage(MSG_HEARTBEAT, std::span<uint8_t>(slot).first(size));
}

bool BusClient::InputWaiting() {
  if (classic_ != nullptr) return classic_->channel()->HasData();
  return inbox_count_ != 0 || (v2_ != nullptr && v2_->link().Ready());
}

BusLoss BusClient::CheckBus() {
  return watch_.Check(InputWaiting());
}

bool BusClient::ReceiveRaw(std::vector<uint8_t>* bytes, uint32_t timeout_ms) {
  if (classic_ != nullptr) {
    bytes->resize(classic_->slot_size());
    if (!classic_->Receive(bytes->data(), timeout_ms)) return false;
    watch_.Heard();
    return true;
  }
  if (v2_ == nullptr) return false;
  if (inbox_count_ != 0) {
    TakeFromInbox(bytes);
    return true;
  }
  SfSMFLinkV2& link = v2_->link();
  if (link.has_wake()) {
    if (!link.WaitReady(timeout_ms)) return false;
  } else {
    // Without wake-ups: look again at once for a moment before falling back to the
    // link's millisecond polling, so a busy reader does not pay a millisecond a record.
    const uint32_t start = platform::TickCount();
    while (!link.Ready()) {
      const uint32_t spent = platform::TickCount() - start;
      if (spent >= kV2SpinMs || spent >= timeout_ms) {
        if (spent >= timeout_ms || !link.WaitReady(timeout_ms - spent)) return false;
        break;
      }
      platform::SleepMs(0);
    }
  }
  if (FillInbox() == 0) return false;
  ++link_reads_;
  watch_.Heard();
  TakeFromInbox(bytes);
  return true;
}

size_t BusClient::FillInbox() {
  if (inbox_.size() < kInboxRecords) inbox_.resize(kInboxRecords);
  uint64_t bytes = 0;
  return v2_->link().PopBatch(static_cast<uint32_t>(kInboxRecords - inbox_count_),
                              [&](const uint8_t* record, uint32_t length) {
                                if (inbox_count_ != 0 && bytes + length > kInboxBytes) return false;
                                bytes += length;
                                inbox_[(inbox_head_ + inbox_count_) % kInboxRecords].assign(
                                    record, record + length);
                                ++inbox_count_;
                                return true;
                              });
}

void BusClient::TakeFromInbox(std::vector<uint8_t>* bytes) {
  bytes->swap(inbox_[inbox_head_]);
  inbox_head_ = (inbox_head_ + 1) % kInboxRecords;
  --inbox_count_;
}

bool BusClient::Receive(BusReceived* out, uint32_t timeout_ms) {
  const uint32_t start = platform::TickCount();
  // The buffer of the message before last is used again: no allocation a message.
  std::vector<uint8_t> bytes = std::move(spare_bytes_);
  for (;;) {
    const uint32_t spent = platform::TickCount() - start;
    if (spent > timeout_ms) break;
    // Waits in slices so a bus that goes away is noticed while the caller waits (when
    // the silence limit passes, or at the latest a slice after its last heartbeat);
    // once it is gone, only what is already in the link is delivered. With input
    // waiting there is no wait to bound.
    uint32_t slice = 0;
    if (bus_loss() == BusLoss::kNone) {
      slice = std::min(timeout_ms - spent, kWatchSliceMs);
      if (!InputWaiting()) slice = std::min(slice, watch_.CheckDueInMs(kWatchSliceMs));
    }
    receive_waits_.store(receive_waits_.load(std::memory_order_relaxed) + 1,
                         std::memory_order_relaxed);
    if (ReceiveRaw(&bytes, slice)) {
      if (Decode(bytes, out)) return true;
      continue;
    }
    if (interrupt_.exchange(false)) break;
    if (CheckBus() != BusLoss::kNone || slice == timeout_ms - spent) break;
  }
  spare_bytes_ = std::move(bytes);
  return false;
}

void BusClient::InterruptReceive() {
  interrupt_.store(true);
  if (classic_ != nullptr && classic_->channel() != nullptr) {
    classic_->channel()->incoming().InterruptWait();
  } else if (v2_ != nullptr) {
    v2_->link().InterruptWait();
  }
}

size_t BusClient::ReceiveBatch(std::vector<BusReceived>* out, size_t max, uint32_t timeout_ms) {
  size_t taken = 0;
  for (; taken < max; ++taken) {
    out->emplace_back();
    if (!Receive(&out->back(), taken == 0 ? timeout_ms : 0)) {
      out->pop_back();
      break;
    }
  }
  return taken;
}

bool BusClient::ReceiveCode(uint16_t code, BusReceived* out, uint32_t timeout_ms) {
  const uint32_t start = platform::TickCount();
  for (;;) {
    const uint32_t spent = platform::TickCount() - start;
    if (spent > timeout_ms) return false;
    if (!Receive(out, timeout_ms - spent)) return false;
    if (ClassicCodeOf(out->code) == ClassicCodeOf(code)) return true;
  }
}

bool BusClient::Decode(std::vector<uint8_t>& bytes, BusReceived* out) {
  MessageHeader header;
  if (!ReadMessageHeader(bytes, &header)) return false;
  const uint16_t code = header.code;
  if (code == MSG_HEARTBEAT) {
    uint32_t tick = 0;
    if (ReadHandle(bytes, &tick)) last_heartbeat_tick_ = tick;
    ++heartbeats_;
    return false;
  }
  spare_bytes_ = std::move(out->bytes);
  spare_bytes_.clear();
  *out = BusReceived();
  out->code = code;
  ++parts_;
  out->parts = parts_;
  bool complete = true;
  if (!DecodeText(bytes, out, &complete) && !DecodeValue(bytes, out, &complete)) {
    DecodeNotice(bytes, out);
  }
  if (!complete) return false;
  parts_ = 0;
  out->bytes = std::move(bytes);
  bytes.clear();
  return true;
}

bool BusClient::DecodeText(const std::vector<uint8_t>& bytes, BusReceived* out, bool* complete) {
  const uint16_t code = out->code;
  HandleText ht;
  switch (code) {
    case MSG_TOPIC:
    case MSG_TEXT_A:
    case MSG_TEXT_B:
    case MSG_TOPIC_ADDED:
      ReadClassicHandleText(bytes, &ht);
      out->handle = ht.handle;
      out->text = ht.text;
      if (code == MSG_TOPIC || code == MSG_TOPIC_ADDED) joiner_.ClearTopicText();
      return true;
    case MSG_TOPIC_PART:
    case MSG_TOPIC_ADDED_PART:
    case MSG_TOPIC_LAST:
    case MSG_TOPIC_ADDED_LAST:
      ReadClassicHandleText(bytes, &ht);
      joiner_.AppendTopicText(ht.handle, ht.text);
      *complete = code == MSG_TOPIC_LAST || code == MSG_TOPIC_ADDED_LAST;
      out->code = code == MSG_TOPIC_LAST ? MSG_TOPIC : MSG_TOPIC_ADDED;
      out->handle = ht.handle;
      if (*complete) out->text = joiner_.TakeTopicText();
      return true;
    case MSG_TOPIC_V2:
    case MSG_TEXT_A_V2:
    case MSG_TEXT_B_V2:
    case MSG_TOPIC_ADDED_V2:
      ReadV2HandleText(bytes, &ht);
      out->handle = ht.handle;
      out->text = ht.text;
      return true;
    default:
      return false;
  }
}

bool BusClient::DecodeValue(const std::vector<uint8_t>& bytes, BusReceived* out, bool* complete) {
  const uint16_t code = out->code;
  HandleValue hv;
  switch (code) {
    case MSG_VALUE:
    case MSG_TOPIC_VALUE:
      ReadClassicHandleValue(bytes, &hv);
      out->handle = hv.handle;
      out->value = std::move(hv.value);
      joiner_.ClearValue();
      return true;
    case MSG_VALUE_PART:
    case MSG_TOPIC_VALUE_PART:
    case MSG_VALUE_LAST:
    case MSG_TOPIC_VALUE_LAST:
      ReadClassicHandleValue(bytes, &hv);
      joiner_.AppendValue(hv.handle, hv.value, hv.starts);
      *complete = code == MSG_VALUE_LAST || code == MSG_TOPIC_VALUE_LAST;
      out->code = code == MSG_VALUE_LAST ? MSG_VALUE : MSG_TOPIC_VALUE;
      out->handle = hv.handle;
      if (*complete) out->value = joiner_.TakeValue();
      return true;
    case MSG_VALUE_V2:
    case MSG_TOPIC_VALUE_V2:
      ReadV2HandleValue(bytes, &hv);
      out->handle = hv.handle;
      out->value = std::move(hv.value);
      return true;
    default:
      return false;
  }
}

void BusClient::DecodeNotice(const std::vector<uint8_t>& bytes, BusReceived* out) {
  switch (out->code) {
    case MSG_REGISTER_REPLY: {
      RegisterReply reply;
      ReadRegisterReply(bytes, &reply);
      out->handle = reply.result;
      out->text = reply.status;
      break;
    }
    case MSG_DISCONNECT:
      ReadDisconnect(bytes, &out->text);
      closed_by_bus_ = true;
      closed_reason_ = out->text;
      break;
    case MSG_REFRESH:
      ReadHandle(bytes, &out->handle);
      ReadClassicRefresh(bytes, &out->items);
      break;
    case MSG_REFRESH_V2:
      ReadHandle(bytes, &out->handle);
      ReadV2Refresh(bytes, &out->items);
      break;
    case MSG_TOPIC_CLOSE:
    case MSG_TOPIC_REMOVED:
      ReadHandle(bytes, &out->handle);
      break;
    case MSG_MONITOR_REPLY: {
      MonitorReply reply;
      ReadMonitorReply(bytes, &reply);
      out->handle = reply.topic_count;
      out->items = {reply.topic_count, reply.client_count};
      break;
    }
    case MSG_CLIENT_ADDED: {
      ClientAdded added;
      ReadClientAdded(bytes, &added);
      out->handle = added.client_id;
      out->text = added.sid;
      break;
    }
    case MSG_CLIENT_REMOVED: {
      ClientRemoved removed;
      ReadClientRemoved(bytes, &removed);
      out->handle = removed.client_id;
      out->text = removed.reason;
      break;
    }
    default:
      break;
  }
}

}  // namespace orvex::client
