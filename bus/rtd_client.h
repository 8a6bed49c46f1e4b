#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "protocol/split_joiner.h"

namespace orvex {

// A registered link: what it said about itself, the topic handles it holds and the
// buffers that join its split messages. Owned by the server's client map.
struct RtdClient {
  uint16_t id = 0;   // equal to the connection id
  std::string name;  // from the registration
  std::string sid;   // exactly as registered
  uint8_t publisher = 0;
  uint8_t subscriber = 0;
  std::map<uint32_t, uint32_t> handles;  // client's handle -> bus topic id
  size_t topic_text_bytes = 0;           // text of every held handle's topic, counted per handle
  uint8_t refusals_logged = 0;           // bits of the topic-limit refusals logged for this client
  SplitJoiner joiner;
};

// SID as registered -> the primary publisher of that SID.
using SidMap = std::map<std::string, RtdClient*>;
// Ids of publishers that registered with a SID that already had a primary.
using StandbyPublishers = std::set<uint16_t>;

}  // namespace orvex
