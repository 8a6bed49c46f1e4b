// Topic requests and closes, values and texts from publishers, and the choice of
// publisher for each topic.
#include "bus/bus_send.h"
#include "bus/rtd_server.h"
#include "protocol/message_reader.h"
#include "protocol/value_record.h"

namespace orvex {
namespace {

// Bits of RtdClient::refusals_logged.
constexpr uint8_t kLongTextLogged = 1;
constexpr uint8_t kTopicCountLogged = 2;
constexpr uint8_t kTextBytesLogged = 4;

}  // namespace

bool RtdServer::WithinLimits(RtdClient& client, uint32_t handle, const std::string& text) {
  // A handle already held is closed before it is used again: its topic and its text
  // make room for the new one.
  size_t held_bytes = client.topic_text_bytes;
  size_t held_topics = client.handles.size();
  if (auto it = client.handles.find(handle); it != client.handles.end()) {
    if (const RtdTopic* old = topics_.Find(it->second)) held_bytes -= old->text.size();
    --held_topics;
  }
  const auto refuse = [&](uint8_t kind, const std::string& what, size_t value) {
    if ((client.refusals_logged & kind) == 0) {
      client.refusals_logged |= kind;
      Log("Topic refused for client " + std::to_string(client.id) + ": " + what + " " +
          std::to_string(value) + " (further such requests are refused silently)");
    }
    return false;
  };
  if (text.size() > options_.max_topic_text_bytes) {
    return refuse(kLongTextLogged, "topic text longer than", options_.max_topic_text_bytes);
  }
  if (held_topics >= options_.max_topics_per_client) {
    return refuse(kTopicCountLogged, "topics held reach", options_.max_topics_per_client);
  }
  if (held_bytes + text.size() > options_.max_topic_text_bytes_per_client) {
    return refuse(kTextBytesLogged, "topic text bytes held would exceed",
                  options_.max_topic_text_bytes_per_client);
  }
  return true;
}

void RtdServer::RequestTopic(RtdClient& client, uint32_t handle, const std::string& text) {
  if (!WithinLimits(client, handle, text)) return;
  const TopicAddress address = ParseTopicAddress(text);
  // Repeating a held (client, handle) pair re-subscribes: close, then ask again. The
  // loop runs at most twice: the close removes the pair.
  for (int attempt = 0; attempt < 2; ++attempt) {
    bool created = false;
    RtdTopic* topic = topics_.FindOrCreate(address, &created);
    const size_t before = topic->subscribers.size();
    if (topic->HasSubscriber({client.id, handle})) {
      if (!CloseTopic(client, handle)) return;
      continue;
    }
    // A handle still held for another topic: close that use first, so the handle map
    // and the topic's subscriber set stay one consistent picture.
    if (client.handles.count(handle) != 0) CloseTopic(client, handle);

    topic->AddSubscriber({client.id, handle});
    client.handles[handle] = topic->id;
    client.topic_text_bytes += topic->text.size();
    if (before > 0) {
      SendValue(FindConnection(client.id), kValueSplit, MSG_VALUE_V2, handle, topic->value);
      return;
    }
    AssignPublisher(*topic);
    for (uint16_t watcher : topic_notice_) SendTopicAdded(*topic, FindConnection(watcher));
    if (topic->bus_topic) {
      bus_topics_->Attach(*topic);
    } else if (sid_map_.empty() && topics_.ordinary_count() == 1) {
      LaunchAutoStartPublisher();
    }
    return;
  }
}

bool RtdServer::CloseTopic(RtdClient& client, uint32_t handle) {
  auto it = client.handles.find(handle);
  if (it == client.handles.end()) return false;
  const uint32_t topic_id = it->second;
  client.handles.erase(it);
  RtdTopic* topic = topics_.Find(topic_id);
  if (topic != nullptr) client.topic_text_bytes -= topic->text.size();
  if (topic == nullptr || !topic->RemoveSubscriber({client.id, handle})) return true;
  if (!topic->subscribers.empty()) return true;
  if (topic->publisher_id != 0) {
    SendHandleOnly(FindConnection(topic->publisher_id), MSG_TOPIC_CLOSE, topic_id);
  }
  if (topic->bus_topic) bus_topics_->Detach(*topic);
  topics_.Remove(topic_id);
  for (uint16_t watcher : topic_notice_) {
    SendHandleOnly(FindConnection(watcher), MSG_TOPIC_REMOVED, topic_id);
  }
  return true;
}

void RtdServer::CloseAllTopics(RtdClient& client) {
  while (!client.handles.empty()) CloseTopic(client, client.handles.begin()->first);
}

void RtdServer::SendTopicAdded(const RtdTopic& topic, RtdConnection* to) {
  SendTopicText(to, kTopicAddedSplit, MSG_TOPIC_ADDED_V2, topic.id, FullTopicName(topic));
}

void RtdServer::SendTopicValue(const RtdTopic& topic, RtdConnection* to) {
  SendValue(to, kTopicValueSplit, MSG_TOPIC_VALUE_V2, topic.id, topic.value);
}

void RtdServer::PublishValue(uint32_t topic_id, uint16_t sender, RtdValue value,
                             std::span<const uint8_t> v2_message) {
  RtdTopic* topic = topics_.Find(topic_id);
  if (topic == nullptr || topic->publisher_id != sender) return;
  // Moved, not copied: a value received is kept without another allocation.
  topic->value = std::move(value);
  // Encoded once, copied to every subscriber with its own handle.
  fanout_.Reset(topic->value, v2_message);
  for (const auto& [client_id, handle] : topic->subscribers) {
    fanout_.Send(FindConnection(client_id), handle);
  }
  for (uint16_t watcher : value_notice_) SendTopicValue(*topic, FindConnection(watcher));
}

void RtdServer::OnValue(const BusMessage& m) {
  HandleValue hv;
  const bool ok =
      m.code == MSG_VALUE ? ReadClassicHandleValue(m.bytes, &hv) : ReadV2HandleValue(m.bytes, &hv);
  // A whole value ends any split one its sender left unfinished.
  if (RtdClient* client = FindClient(m.id)) client->joiner.ClearValue();
  if (!ok || m.id == 0) return;
  // A V2 record that is exactly its value's encoding goes on as it came.
  std::span<const uint8_t> forward;
  if (m.code == MSG_VALUE_V2 &&
      IsCanonicalV2Record(m.bytes.subspan(kValueRecordOffset), hv.value)) {
    forward = m.bytes;
  }
  PublishValue(hv.handle, m.id, std::move(hv.value), forward);
}

void RtdServer::OnValuePart(const BusMessage& m, bool last) {
  RtdClient* client = FindClient(m.id);
  HandleValue hv;
  if (client == nullptr || !ReadClassicHandleValue(m.bytes, &hv)) return;
  client->joiner.AppendValue(hv.handle, hv.value, hv.starts);
  if (!last) return;
  RtdValue joined = client->joiner.TakeValue();
  if (joined.Type() == RtdValueType::kText) {
    Log("Composed Value:\n" + std::string(joined.Text()));
  }
  PublishValue(hv.handle, m.id, std::move(joined));
}

void RtdServer::OnTopicPart(const BusMessage& m, bool last) {
  RtdClient* client = FindClient(m.id);
  HandleText part;
  if (client == nullptr || !ReadClassicHandleText(m.bytes, &part)) return;
  // Past the topic-text limit the request will be refused: its further parts are not
  // kept. An empty append still starts afresh when the part is for another handle.
  if (client->joiner.PendingTopicText().size() > options_.max_topic_text_bytes) {
    client->joiner.AppendTopicText(part.handle, {});
    if (!client->joiner.PendingTopicText().empty()) part.text.clear();
  }
  client->joiner.AppendTopicText(part.handle, part.text);
  if (last) RequestTopic(*client, part.handle, client->joiner.TakeTopicText());
}

void RtdServer::OnText(const BusMessage& m) {
  const bool v2 = m.code == MSG_TEXT_A_V2 || m.code == MSG_TEXT_B_V2;
  const bool kind_a = m.code == MSG_TEXT_A || m.code == MSG_TEXT_A_V2;
  HandleText ht;
  if (!(v2 ? ReadV2HandleText(m.bytes, &ht) : ReadClassicHandleText(m.bytes, &ht))) return;
  RtdTopic* topic = topics_.Find(ht.handle);
  if (topic == nullptr || topic->publisher_id == 0 || topic->publisher_id != m.id) return;
  const uint16_t code = kind_a ? MSG_TEXT_A : MSG_TEXT_B;
  const uint16_t v2_code = kind_a ? MSG_TEXT_A_V2 : MSG_TEXT_B_V2;
  for (const auto& [client_id, handle] : topic->subscribers) {
    SendShortText(FindConnection(client_id), code, v2_code, handle, ht.text);
  }
}

void RtdServer::AssignPublisher(RtdTopic& topic) {
  const std::string wanted = SelectPublisherSid(topic.sids, publishers_);
  auto it = sid_map_.find(wanted);
  // Unchanged, unless the topic waits without a publisher and one now has its SID: a
  // listed SID can gain its routable publisher without the list changing (a namesake
  // that differs in case or spaces was listed first).
  if (wanted == topic.assigned_sid && (topic.publisher_id != 0 || it == sid_map_.end())) return;
  // The old publisher has gone when its SID left the list: it is not told.
  if (!publishers_.Contains(topic.assigned_sid)) topic.publisher_id = 0;
  topic.assigned_sid = wanted;
  if (topic.publisher_id != 0) {
    SendHandleOnly(FindConnection(topic.publisher_id), MSG_TOPIC_CLOSE, topic.id);
    topic.publisher_id = 0;
  }
  if (wanted.empty() || it == sid_map_.end()) return;
  topic.publisher_id = it->second->id;
  SendTopicText(FindConnection(topic.publisher_id), kTopicSplit, MSG_TOPIC_V2, topic.id,
                topic.text);
}

void RtdServer::ReevaluateAllTopics() {
  for (const auto& [id, topic] : topics_.by_id()) AssignPublisher(*topic);
}

void RtdServer::HandOver(uint16_t old_id, uint16_t new_id) {
  RtdConnection* to = FindConnection(new_id);
  for (const auto& [id, topic] : topics_.by_id()) {
    if (topic->publisher_id != old_id) continue;
    topic->publisher_id = new_id;
    SendTopicText(to, kTopicSplit, MSG_TOPIC_V2, topic->id, topic->text);
  }
}

void RtdServer::SetDefaultPublisherSid(std::string_view sid) {
  Log("RtdServer::SetDefaultPublisherSid(" + std::string(sid) + ")");
  const std::string normalized = NormalizeSid(sid);
  if (normalized == publishers_.Head()) {
    Log("\tFAILED - already default");
    return;
  }
  if (publishers_.RemoveAll(normalized) == 0) {
    Log("\tFAILED - sid not available?");
    return;
  }
  publishers_.PushFront(normalized);
  ReevaluateAllTopics();
  bus_topics_->RefreshLists();
  Log("\tSUCCESS");
}

}  // namespace orvex
