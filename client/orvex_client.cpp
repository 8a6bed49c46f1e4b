// The C API over ClientSession: argument checks, value building and the translation of
// received messages into orvex_event.
#include "orvex/orvex_client.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "client/client_session.h"
#include "protocol/message_codes.h"
#include "protocol/rtd_value.h"

using orvex::RtdValue;
using orvex::RtdValueType;
using orvex::client::BusClient;
using orvex::client::BusReceived;
using orvex::client::ClientSession;

struct orvex_client {
  ClientSession session;
  // What the last polled event points into.
  BusReceived polled;
  std::string polled_text;
  // What the last polled batch points into.
  std::vector<BusReceived> batch;
  std::vector<std::string> batch_texts;
  // What orvex_last_status and orvex_disconnect_reason return.
  std::string status;
  std::string reason;
};

namespace {

// The longest SID and client name a registration message carries.
constexpr size_t kMaxSid = 9;
constexpr size_t kMaxName = 61;

// Fills `value` from `v`; `rendered` keeps the text it points to.
void FillValue(const RtdValue& v, orvex_value* value, std::string* rendered) {
  value->type = v.TypeCode();
  switch (v.Type()) {
    case RtdValueType::kInt32:
      value->int32 = v.Int32();
      value->int64 = v.Int32();
      value->number = v.Int32();
      break;
    case RtdValueType::kInt64:
      value->int64 = v.Int64();
      value->number = static_cast<double>(v.Int64());
      break;
    case RtdValueType::kDouble:
      value->number = v.Double();
      break;
    case RtdValueType::kBool:
      value->boolean = v.BoolByte() != 0 ? 1 : 0;
      break;
    case RtdValueType::kDate:
      value->int32 = v.Date();
      break;
    case RtdValueType::kDateTime:
      value->int64 = v.DateTime();
      break;
    default:
      break;
  }
  if (v.Type() == RtdValueType::kBytes) {
    const auto bytes = v.Bytes();
    rendered->assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  } else if (v.Type() == RtdValueType::kText || v.Type() == RtdValueType::kText2) {
    rendered->assign(v.Text());
  } else {
    *rendered = v.ToText();
  }
  value->text = rendered->c_str();
  value->length = rendered->size();
}

// Fills `event` from `m`; everything it points to lives in `m` and `rendered`.
void FillEvent(const BusReceived& m, orvex_event* event, std::string* rendered) {
  *event = orvex_event{};
  event->handle = m.handle;
  event->text = m.text.c_str();
  switch (orvex::client::ClassicCodeOf(m.code)) {
    case 0:
      event->kind = ORVEX_EVENT_BUS_LOST;
      break;
    case orvex::MSG_VALUE:
      event->kind = ORVEX_EVENT_VALUE;
      FillValue(m.value, &event->value, rendered);
      break;
    case orvex::MSG_TEXT_A:
    case orvex::MSG_TEXT_B:
      event->kind = ORVEX_EVENT_TEXT;
      break;
    case orvex::MSG_TOPIC:
      event->kind = ORVEX_EVENT_TOPIC_REQUEST;
      break;
    case orvex::MSG_TOPIC_CLOSE:
      event->kind = ORVEX_EVENT_TOPIC_CLOSED;
      break;
    case orvex::MSG_REFRESH:
      event->kind = ORVEX_EVENT_REFRESH;
      event->items = m.items.data();
      event->item_count = m.items.size();
      break;
    case orvex::MSG_DISCONNECT:
      event->kind = ORVEX_EVENT_DISCONNECT;
      break;
    default:
      break;
  }
  if (event->value.text == nullptr) {
    event->value.text = "";
  }
}

// Builds the value with `set` and publishes it.
template <typename Set>
int PublishValue(orvex_client* client, uint32_t topic_id, Set set) {
  if (client == nullptr) return ORVEX_E_ARGUMENT;
  // The bus would route a value for an id it never gave out nowhere, or to another
  // publisher's topic: refuse it here, where the caller learns of it.
  if (!client->session.TopicAsked(topic_id)) return ORVEX_E_TOPIC;
  RtdValue value;
  set(value);
  return client->session.Send([&](BusClient& bus) { return bus.Publish(topic_id, value); });
}

}  // namespace

extern "C" {

const char* orvex_error_text(int code) {
  switch (code) {
    case ORVEX_OK:
      return "no error";
    case ORVEX_E_ARGUMENT:
      return "invalid argument";
    case ORVEX_E_NO_BUS:
      return "no bus answered";
    case ORVEX_E_REFUSED:
      return "the bus refused the registration";
    case ORVEX_E_TIMEOUT:
      return "timed out";
    case ORVEX_E_SEND:
      return "the link took no message";
    case ORVEX_E_BUS_LOST:
      return "the bus is gone or ended the link";
    case ORVEX_E_STATE:
      return "not allowed in this state";
    case ORVEX_E_MEMORY:
      return "out of memory";
    case ORVEX_E_TOPIC:
      return "the bus has not asked this client for that topic";
    default:
      return "unknown error";
  }
}

int orvex_connect(const char* bus, int link_kind, uint32_t timeout_ms, orvex_client** out) {
  if (out == nullptr) return ORVEX_E_ARGUMENT;
  *out = nullptr;
  if (link_kind != ORVEX_LINK_CLASSIC && link_kind != ORVEX_LINK_V2) return ORVEX_E_ARGUMENT;
  if (bus != nullptr && *bus == '\0') return ORVEX_E_ARGUMENT;
  auto* client = new (std::nothrow) orvex_client;
  if (client == nullptr) return ORVEX_E_MEMORY;
  const auto kind =
      link_kind == ORVEX_LINK_V2 ? orvex::client::LinkKind::kV2 : orvex::client::LinkKind::kClassic;
  const int result =
      client->session.Connect(bus != nullptr ? bus : ORVEX_DEFAULT_BUS, kind, timeout_ms);
  if (result != ORVEX_OK) {
    delete client;
    return result;
  }
  *out = client;
  return ORVEX_OK;
}

int orvex_register(orvex_client* client, const char* sid, const char* name, int roles,
                   uint32_t timeout_ms) {
  if (client == nullptr || sid == nullptr) return ORVEX_E_ARGUMENT;
  const bool publisher = (roles & ORVEX_ROLE_PUBLISHER) != 0;
  const bool subscriber = (roles & ORVEX_ROLE_SUBSCRIBER) != 0;
  if ((!publisher && !subscriber) ||
      (roles & ~(ORVEX_ROLE_PUBLISHER | ORVEX_ROLE_SUBSCRIBER)) != 0) {
    return ORVEX_E_ARGUMENT;
  }
  const std::string client_name = name != nullptr ? name : "orvex client";
  if (std::strlen(sid) > kMaxSid || client_name.size() > kMaxName) return ORVEX_E_ARGUMENT;
  if (publisher && *sid == '\0') return ORVEX_E_ARGUMENT;
  return client->session.Register(sid, client_name, publisher, subscriber, timeout_ms);
}

const char* orvex_last_status(orvex_client* client) {
  if (client == nullptr) return "";
  client->status = client->session.status();
  return client->status.c_str();
}

int orvex_request_topic(orvex_client* client, uint32_t handle, const char* topic) {
  if (client == nullptr || topic == nullptr || *topic == '\0') return ORVEX_E_ARGUMENT;
  return client->session.Send([&](BusClient& bus) { return bus.RequestTopic(handle, topic); });
}

int orvex_close_topic(orvex_client* client, uint32_t handle) {
  if (client == nullptr) return ORVEX_E_ARGUMENT;
  return client->session.Send([&](BusClient& bus) { return bus.CloseTopic(handle); });
}

int orvex_refresh(orvex_client* client, const uint32_t* handles, size_t count) {
  if (client == nullptr || (handles == nullptr && count != 0)) return ORVEX_E_ARGUMENT;
  // A classic refresh carries at most 29 handles: send as many messages as needed.
  constexpr size_t kChunk = 29;
  size_t at = 0;
  do {
    const size_t n = count - at < kChunk ? count - at : kChunk;
    const int result = client->session.Send(
        [&](BusClient& bus) { return bus.Refresh(std::span<const uint32_t>(handles + at, n)); });
    if (result != ORVEX_OK) return result;
    at += n;
  } while (at < count);
  return ORVEX_OK;
}

int orvex_publish_int32(orvex_client* client, uint32_t topic_id, int32_t value) {
  return PublishValue(client, topic_id, [&](RtdValue& v) { v.SetInt32(value); });
}

int orvex_publish_int64(orvex_client* client, uint32_t topic_id, int64_t value) {
  return PublishValue(client, topic_id, [&](RtdValue& v) { v.SetInt64(value); });
}

int orvex_publish_double(orvex_client* client, uint32_t topic_id, double value) {
  return PublishValue(client, topic_id, [&](RtdValue& v) { v.SetDouble(value); });
}

int orvex_publish_bool(orvex_client* client, uint32_t topic_id, int value) {
  return PublishValue(client, topic_id, [&](RtdValue& v) { v.SetBool(value != 0 ? 1 : 0); });
}

int orvex_publish_text(orvex_client* client, uint32_t topic_id, const char* text) {
  if (text == nullptr) return ORVEX_E_ARGUMENT;
  return PublishValue(client, topic_id, [&](RtdValue& v) { v.SetText(text); });
}

int orvex_publish_bytes(orvex_client* client, uint32_t topic_id, const void* bytes, size_t length) {
  if (bytes == nullptr && length != 0) return ORVEX_E_ARGUMENT;
  return PublishValue(client, topic_id, [&](RtdValue& v) {
    v.SetBytes(std::span<const uint8_t>(static_cast<const uint8_t*>(bytes), length));
  });
}

int orvex_publish_date(orvex_client* client, uint32_t topic_id, int32_t days) {
  return PublishValue(client, topic_id, [&](RtdValue& v) { v.SetDate(days); });
}

int orvex_publish_datetime(orvex_client* client, uint32_t topic_id, int64_t seconds) {
  return PublishValue(client, topic_id, [&](RtdValue& v) { v.SetDateTime(seconds); });
}

int orvex_poll(orvex_client* client, orvex_event* event, uint32_t timeout_ms) {
  if (client == nullptr || event == nullptr) return ORVEX_E_ARGUMENT;
  const int result = client->session.Poll(&client->polled, timeout_ms);
  if (result != ORVEX_OK) return result;
  FillEvent(client->polled, event, &client->polled_text);
  return ORVEX_OK;
}

int orvex_poll_batch(orvex_client* client, orvex_event* events, size_t capacity, size_t* count,
                     uint32_t timeout_ms) {
  if (count != nullptr) *count = 0;
  if (client == nullptr || events == nullptr || count == nullptr || capacity == 0) {
    return ORVEX_E_ARGUMENT;
  }
  const int result = client->session.PollBatch(&client->batch, capacity, timeout_ms);
  if (result != ORVEX_OK) return result;
  if (client->batch_texts.size() < client->batch.size()) {
    client->batch_texts.resize(client->batch.size());
  }
  for (size_t i = 0; i < client->batch.size(); ++i) {
    FillEvent(client->batch[i], &events[i], &client->batch_texts[i]);
  }
  *count = client->batch.size();
  return ORVEX_OK;
}

int orvex_set_handler(orvex_client* client, orvex_handler handler, void* user) {
  if (client == nullptr) return ORVEX_E_ARGUMENT;
  if (handler == nullptr) {
    client->session.SetHandler(nullptr);
    return ORVEX_OK;
  }
  client->session.SetHandler([handler, user](const BusReceived& m) {
    orvex_event event;
    std::string rendered;
    FillEvent(m, &event, &rendered);
    handler(&event, user);
  });
  return ORVEX_OK;
}

int orvex_set_receive_limit(orvex_client* client, uint64_t bytes) {
  if (client == nullptr || bytes == 0) return ORVEX_E_ARGUMENT;
  client->session.SetReceiveLimit(bytes);
  return ORVEX_OK;
}

const char* orvex_disconnect_reason(orvex_client* client) {
  if (client == nullptr) return "";
  client->reason = client->session.reason();
  return client->reason.c_str();
}

int orvex_close(orvex_client* client, const char* reason, uint32_t timeout_ms) {
  if (client == nullptr) return ORVEX_OK;
  // The handler runs on the thread that closing must stop and wait for.
  if (client->session.OnReceivingThread()) return ORVEX_E_STATE;
  const int result =
      client->session.Close(reason != nullptr ? reason : "Client closed", timeout_ms);
  delete client;
  return result;
}

}  // extern "C"
