#include "bus/rtd_server.h"

#include "bus/bus_send.h"
#include "platform/clock.h"
#include "protocol/message_reader.h"
#include "protocol/message_writer.h"
#include "threading/trace.h"

namespace orvex {

RtdServer::RtdServer(Options options) : RtdServer(std::move(options), NotReadyYet{}) {
  SetReady(true);
}

RtdServer::RtdServer(Options options, NotReadyYet)
    : RtdServerMultiConnection(options.base_name,
                               LinkFlow{options.slow_policy, options.link_backlog_bytes},
                               options.stall_limit_ms),
      options_(std::move(options)) {
  // Built before the first message is handled, so a bus topic requested in the very
  // first pass is served.
  bus_topics_ = std::make_unique<BusTopicTable>(this);
}

RtdServer::~RtdServer() {
  Shutdown(true, 3000);
  SetReady(false);
  bus_topics_.reset();
  clients_.clear();
  sid_map_.clear();
}

size_t RtdServer::Shutdown(bool wait, uint32_t timeout_ms) {
  if (!shut_down_) {
    shut_down_ = true;
    // A link accepted during the grace time would be closed without a word.
    StopAccepting();
    SayFarewell("Server shutting down");
    platform::SleepMs(options_.shutdown_grace_ms);
  }
  return RtdServerMultiConnection::Shutdown(wait, timeout_ms);
}

void RtdServer::SetAutoStartPublisher(std::function<bool()> launcher) {
  SfScopedLock hold(&auto_start_lock_);
  options_.auto_start = std::move(launcher);
}

void RtdServer::LaunchAutoStartPublisher() {
  SfScopedLock hold(&auto_start_lock_);
  if (options_.auto_start) options_.auto_start();
}

void RtdServer::Log(const std::string& line) {
  BusLog().Append(line);
  if (options_.log_observer) options_.log_observer(line);
}

RtdClient* RtdServer::FindClient(uint16_t id) {
  auto it = clients_.find(id);
  return it == clients_.end() ? nullptr : it->second.get();
}

void RtdServer::OnPeriodic() {
  bus_topics_->OnPeriodic();
}

uint32_t RtdServer::PeriodicDueMs() {
  return bus_topics_->DueInMs();
}

void RtdServer::ProcessMessage(const BusMessage& m) {
  const uint16_t id = m.id;
  switch (m.code) {
    case MSG_REGISTER:
      Register(m);
      return;
    case MSG_DISCONNECT: {
      std::string reason;
      if (ReadDisconnect(m.bytes, &reason)) Disconnect(id, reason);
      return;
    }
    case MSG_DROPPED:
      Disconnect(id, "Connection dropped");
      return;
    case MSG_TOPIC:
    case MSG_TOPIC_V2: {
      HandleText request;
      const bool ok = m.code == MSG_TOPIC ? ReadClassicHandleText(m.bytes, &request)
                                          : ReadV2HandleText(m.bytes, &request);
      RtdClient* client = FindClient(id);
      // A whole request ends any split one this client left unfinished.
      if (client != nullptr) client->joiner.ClearTopicText();
      if (ok && client != nullptr) RequestTopic(*client, request.handle, request.text);
      return;
    }
    case MSG_TOPIC_PART:
    case MSG_TOPIC_LAST:
      OnTopicPart(m, m.code == MSG_TOPIC_LAST);
      return;
    case MSG_TOPIC_CLOSE: {
      uint32_t handle = 0;
      RtdClient* client = FindClient(id);
      if (client != nullptr && ReadHandle(m.bytes, &handle)) CloseTopic(*client, handle);
      return;
    }
    case MSG_CLOSE_ALL:
      if (RtdClient* client = FindClient(id)) CloseAllTopics(*client);
      return;
    case MSG_VALUE:
    case MSG_VALUE_V2:
      OnValue(m);
      return;
    case MSG_VALUE_PART:
    case MSG_VALUE_LAST:
      OnValuePart(m, m.code == MSG_VALUE_LAST);
      return;
    case MSG_TEXT_A:
    case MSG_TEXT_B:
    case MSG_TEXT_A_V2:
    case MSG_TEXT_B_V2:
      OnText(m);
      return;
    case MSG_REFRESH:
      ProcRefreshRq(m);
      return;
    case MSG_REFRESH_V2:
      ProcRefreshRq_V2(m);
      return;
    case MSG_SET_DEFAULT_PUBLISHER: {
      std::string sid;
      if (ReadSetDefaultPublisher(m.bytes, &sid)) SetDefaultPublisherSid(sid);
      return;
    }
    case MSG_MONITOR:
      Monitor(m);
      return;
    default:
      return;  // MSG_ACCEPTED, heartbeats and unknown codes
  }
}

void RtdServer::RefuseRegistration(uint16_t id, std::string_view text) {
  SendFixed(FindConnection(id), MSG_REGISTER_REPLY, 100,
            [&](MessageBuffer out) { return WriteRegisterReply(out, false, text); });
}

void RtdServer::Register(const BusMessage& m) {
  RegisterRequest request;
  if (!ReadRegister(m.bytes, &request)) return;
  const uint16_t id = m.id;
  if (request.publisher == 0 && request.subscriber == 0) {
    return RefuseRegistration(id, "Client must be publisher or subsriber");
  }
  if (request.publisher != 0 && request.sid.empty()) {
    return RefuseRegistration(id, "Publisher must supply valid SID value");
  }
  // The bus's own topics are addressed to this SID: a publisher under it would capture
  // them (and the bus's values for them would be refused).
  if (request.publisher != 0 && NormalizeSid(request.sid) == kBusSid) {
    return RefuseRegistration(id, kReservedSidRefusal);
  }
  if (clients_.count(id) != 0) return RefuseRegistration(id, "Could not add connection handle");

  auto owned = std::make_unique<RtdClient>();
  RtdClient& client = *owned;
  client.id = id;
  client.name = request.client_name;
  client.sid = request.sid;
  client.publisher = request.publisher;
  client.subscriber = request.subscriber;
  clients_.emplace(id, std::move(owned));
  if (RtdConnection* connection = FindConnection(id)) {
    connection->registered = true;
    connection->publisher = client.publisher != 0;
    if (request.holds_liveness) WatchLiveness(connection);
  }
  bool primary = false;
  if (client.publisher != 0) {
    if (sid_map_.count(client.sid) != 0) {
      standby_.insert(id);
    } else {
      sid_map_[client.sid] = &client;
      primary = true;
    }
  }
  SendFixed(FindConnection(id), MSG_REGISTER_REPLY, 100,
            [&](MessageBuffer out) { return WriteRegisterReply(out, true, "Connected"); });
  if (primary) {
    publishers_.Append(NormalizeSid(client.sid));
    ReevaluateAllTopics();
  }
  for (uint16_t watcher : client_notice_) NotifyClientAdded(client, FindConnection(watcher));
  if (client.publisher != 0) bus_topics_->RefreshLists();
  std::string line = "Client connected :" + std::to_string(id) + " " + client.sid;
  if (client.publisher != 0) line += "; Publisher";
  if (client.subscriber != 0) line += "; Subscriber";
  Log(line);
  // Topics name publishers in normalised form and are routed by the SID exactly as
  // registered, so this publisher is listed but never receives a topic.
  if (client.publisher != 0 && NormalizeSid(client.sid) != client.sid) {
    Log("Publisher SID \"" + client.sid +
        "\" is not upper case without surrounding spaces: " + "no topic will be routed to it");
  }
}

void RtdServer::NotifyClientAdded(const RtdClient& client, RtdConnection* to) {
  const ClientAdded added{client.id, client.publisher, client.subscriber, client.sid, client.name};
  SendFixed(to, MSG_CLIENT_ADDED, 128,
            [&](MessageBuffer out) { return WriteClientAdded(out, added); });
}

void RtdServer::Disconnect(uint16_t id, const std::string& reason) {
  RtdClient* client = FindClient(id);
  if (client == nullptr) return;
  SendDisconnect(FindConnection(id), reason);
  RemoveConnection(id);
  topic_notice_.erase(id);
  value_notice_.erase(id);
  // Ids are given out again: a later client must not inherit this one's notices.
  client_notice_.erase(id);
  // Any registered client may hold topics (a publisher can subscribe too): every
  // handle goes, or its pair would keep the topic alive and pass to the id's next user.
  CloseAllTopics(*client);

  const bool publisher = client->publisher != 0;
  auto primary_it = sid_map_.find(client->sid);
  const bool primary = publisher && primary_it != sid_map_.end() && primary_it->second == client;
  RtdClient* successor = nullptr;
  if (primary) {
    for (uint16_t standby_id : standby_) {
      RtdClient* standby = FindClient(standby_id);
      if (standby != nullptr && standby->sid == client->sid) {
        successor = standby;
        break;
      }
    }
    if (successor != nullptr) {
      HandOver(id, successor->id);
    } else if (NamesakeRemains(*client)) {
      // Another primary is listed under the same normalised SID: the list keeps the
      // entry, and only this publisher's topics lose their publisher (it has gone and
      // is not told). They are routed again when a publisher registers under the SID.
      for (const auto& [topic_id, topic] : topics_.by_id()) {
        if (topic->publisher_id == id) topic->publisher_id = 0;
      }
    } else {
      publishers_.RemoveAll(NormalizeSid(client->sid));
      ReevaluateAllTopics();
    }
  }
  if (primary) {
    if (successor != nullptr) {
      primary_it->second = successor;
      standby_.erase(successor->id);
    } else {
      sid_map_.erase(primary_it);
    }
  } else if (publisher) {
    standby_.erase(id);
  }
  clients_.erase(id);  // `client` is gone from here on

  const ClientRemoved removed{id, reason};
  for (uint16_t watcher : client_notice_) {
    SendFixed(FindConnection(watcher), MSG_CLIENT_REMOVED, 128,
              [&](MessageBuffer out) { return WriteClientRemoved(out, removed); });
  }
  if (publisher) bus_topics_->RefreshLists();
  Log("Client disconnected :" + std::to_string(id));
}

bool RtdServer::NamesakeRemains(const RtdClient& leaving) const {
  const std::string normalized = NormalizeSid(leaving.sid);
  for (const auto& [sid, primary] : sid_map_) {
    if (primary != &leaving && NormalizeSid(sid) == normalized) return true;
  }
  return false;
}

void RtdServer::Monitor(const BusMessage& m) {
  MonitorRequest request;
  if (FindClient(m.id) == nullptr || !ReadMonitor(m.bytes, &request)) return;
  const uint16_t id = m.id;
  auto follow = [id](std::set<uint16_t>& set, uint8_t flag) {
    if (flag != 0) {
      set.insert(id);
    } else {
      set.erase(id);
    }
  };
  follow(topic_notice_, request.follow_topics);
  follow(value_notice_, request.follow_values);
  follow(client_notice_, request.follow_clients);
  RtdConnection* c = FindConnection(id);
  const MonitorReply reply{static_cast<uint32_t>(topics_.size()),
                           static_cast<uint32_t>(clients_.size())};
  SendFixed(c, MSG_MONITOR_REPLY, 16,
            [&](MessageBuffer out) { return WriteMonitorReply(out, reply); });
  if (request.send_clients != 0) {
    for (const auto& [client_id, client] : clients_) NotifyClientAdded(*client, c);
  }
  if (request.send_topics != 0) {
    for (const auto& [topic_id, topic] : topics_.by_id()) SendTopicAdded(*topic, c);
  }
  if (request.send_values != 0) {
    for (const auto& [topic_id, topic] : topics_.by_id()) SendTopicValue(*topic, c);
  }
}

}  // namespace orvex
