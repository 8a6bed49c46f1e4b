#include "tools/vantel_monitor.h"

#include <algorithm>
#include <cstdio>

#include "protocol/message_codes.h"
#include "protocol/message_fields.h"
#include "protocol/message_reader.h"
#include "tools/vantel_source.h"

namespace orvex::vantel {

namespace {

std::string Fit(std::string text, size_t width) {
  if (text.size() > width) {
    text.resize(width > 0 ? width - 1 : 0);
    if (width > 0) text += '~';
  }
  text.resize(width, ' ');
  return text;
}

std::string Roles(bool publisher, bool subscriber) {
  std::string roles;
  roles += publisher ? 'P' : '-';
  roles += subscriber ? 'S' : '-';
  return roles;
}

}  // namespace

std::string MonitorView::Apply(const client::BusReceived& m) {
  const uint16_t code = client::ClassicCodeOf(m.code);
  const std::string id = std::to_string(m.handle);
  switch (code) {
    case MSG_MONITOR_REPLY:
      if (m.items.size() == 2) {
        reported_topics_ = m.items[0];
        reported_clients_ = m.items[1];
      }
      return "monitor topics=" + std::to_string(reported_topics_) +
             " clients=" + std::to_string(reported_clients_);
    case MSG_TOPIC_ADDED:
      topics_[m.handle].name = m.text;
      return "topic+ " + id + " " + m.text;
    case MSG_TOPIC_REMOVED: {
      auto it = topics_.find(m.handle);
      const std::string name = it == topics_.end() ? std::string() : it->second.name;
      if (it != topics_.end()) topics_.erase(it);
      return "topic- " + id + " " + name;
    }
    case MSG_TOPIC_VALUE: {
      Topic& topic = topics_[m.handle];
      topic.value = m.value;
      ++topic.updates;
      ++values_seen_;
      return "value " + id + " " + topic.name + " " + TypeName(m.value) + " " + m.value.ToText();
    }
    case MSG_CLIENT_ADDED: {
      Client& client = clients_[static_cast<uint16_t>(m.handle)];
      ClientAdded added;
      // The decoded message keeps only the SID; flags and name come from the bytes.
      if (ReadClientAdded(m.bytes, &added)) {
        client.sid = added.sid;
        client.name = added.client_name;
        client.publisher = added.publisher != 0;
        client.subscriber = added.subscriber != 0;
      } else {
        client.sid = m.text;
      }
      return "client+ " + id + " " + Roles(client.publisher, client.subscriber) + " " + client.sid +
             " " + client.name;
    }
    case MSG_CLIENT_REMOVED:
      clients_.erase(static_cast<uint16_t>(m.handle));
      return "client- " + id + " " + m.text;
    case MSG_DISCONNECT:
      return "disconnect " + m.text;
    default:
      return "";
  }
}

std::string MonitorView::RenderTable(size_t width) const {
  width = std::max<size_t>(width, 40);
  std::string out;
  out += Fit("topics " + std::to_string(topics_.size()) + "  clients " +
                 std::to_string(clients_.size()) + "  values " + std::to_string(values_seen_),
             width);
  out += "\n\n";
  // id 8, type 9, updates 10; the name and the value share the rest.
  const size_t rest = width - 8 - 9 - 10 - 3;
  const size_t name_w = rest / 2;
  const size_t value_w = rest - name_w;
  out += Fit("ID", 8) + " " + Fit("TOPIC", name_w) + " " + Fit("TYPE", 9) + Fit("VALUE", value_w) +
         " " + Fit("UPDATES", 10);
  out += "\n";
  for (const auto& [id, topic] : topics_) {
    out += Fit(std::to_string(id), 8) + " " + Fit(topic.name, name_w) + " " +
           Fit(TypeName(topic.value), 9) + Fit(topic.value.ToText(), value_w) + " " +
           Fit(std::to_string(topic.updates), 10);
    out += "\n";
  }
  out += "\n";
  out += Fit("ID", 8) + " " + Fit("ROLE", 5) + " " + Fit("SID", 10) + " " +
         Fit("NAME", width - 8 - 5 - 10 - 3);
  out += "\n";
  for (const auto& [id, client] : clients_) {
    out += Fit(std::to_string(id), 8) + " " + Fit(Roles(client.publisher, client.subscriber), 5) +
           " " + Fit(client.sid, 10) + " " + Fit(client.name, width - 8 - 5 - 10 - 3);
    out += "\n";
  }
  return out;
}

}  // namespace orvex::vantel
