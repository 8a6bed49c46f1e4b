#pragma once
// What `vantel mon` knows about the bus: the topics with their last values and the
// registered clients, kept up to date from the monitor messages.
#include <cstdint>
#include <map>
#include <string>

#include "client/bus_client.h"
#include "protocol/rtd_value.h"

namespace orvex::vantel {

class MonitorView {
 public:
  struct Topic {
    std::string name;
    RtdValue value;
    uint64_t updates = 0;
  };
  struct Client {
    std::string sid;
    std::string name;
    bool publisher = false;
    bool subscriber = false;
  };

  // Applies one message from the bus. Returns the line describing it (without a line
  // feed), or "" for messages a monitor does not show. Values of topics the view has
  // not seen announced are still kept, under an empty name.
  std::string Apply(const client::BusReceived& message);

  // The whole view as a table fitted to `width` columns: a header line with the counts,
  // then the topics by id, then the clients by id. Each line ends with a line feed.
  std::string RenderTable(size_t width) const;

  const std::map<uint32_t, Topic>& topics() const { return topics_; }
  const std::map<uint16_t, Client>& clients() const { return clients_; }
  // The counts of the last MSG_MONITOR_REPLY.
  uint32_t reported_topics() const { return reported_topics_; }
  uint32_t reported_clients() const { return reported_clients_; }

 private:
  std::map<uint32_t, Topic> topics_;
  std::map<uint16_t, Client> clients_;
  uint32_t reported_topics_ = 0;
  uint32_t reported_clients_ = 0;
  uint64_t values_seen_ = 0;
};

}  // namespace orvex::vantel
