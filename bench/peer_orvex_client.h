#pragma once
// What the bus's benchmark roles share: how they connect, their topic texts and the
// topic ids a publisher learns.
#include <cstdint>
#include <string>
#include <vector>

#include "bench/peer_common.h"
#include "client/bus_client.h"

namespace orvex::bench {

client::LinkKind KindOf(const Plan& plan);
// Bytes per link for the bus and for the publisher's unread values: kOrvexLinkBytes, or
// room for four values where they are larger, or the bus's default for many topics.
uint64_t OrvexLinkBytes(const Plan& plan);
std::string OrvexTopicText(const Plan& plan, uint32_t number);
// Connects (retrying) and registers as the bench's publisher or as a subscriber.
bool ConnectOrvex(client::BusClient& bus, const Plan& plan, bool publisher);

// The topic ids the bus gave a publisher, by topic number (Plan::topics of them, or
// the one topic).
class TopicIds {
 public:
  explicit TopicIds(uint32_t wanted) : wanted_(wanted), ids_(wanted == 0 ? 1 : wanted, 0) {}
  // Takes a topic message (false for any other message).
  bool Take(const client::BusReceived& m);
  bool complete() const { return known_ == ids_.size(); }
  size_t known() const { return known_; }
  uint32_t Id(uint32_t number) const { return ids_[number]; }

 private:
  uint32_t wanted_;
  std::vector<uint32_t> ids_;
  size_t known_ = 0;
};

}  // namespace orvex::bench
