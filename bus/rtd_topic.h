#pragma once
#include <compare>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bus/flat_index.h"
#include "protocol/rtd_value.h"

namespace orvex {

// One subscription of a topic: the subscriber's connection id and its own handle.
struct TopicSubscriber {
  uint16_t client = 0;
  uint32_t handle = 0;
  auto operator<=>(const TopicSubscriber&) const = default;
};

// One topic: a text, the publishers it is addressed to, the publisher it is routed to,
// its subscribers (client id, client's handle) and its last value. Owned by TopicTable.
struct RtdTopic {
  uint32_t id = 0;
  std::string text;               // after the address prefix, exactly as sent
  std::vector<std::string> sids;  // normalised, in the order given
  bool bus_topic = false;         // the SID list is exactly "BUS"
  std::string assigned_sid;       // the SID the topic is routed to
  uint16_t publisher_id = 0;      // the publisher link it was sent to; 0 = none
  // Ordered by client id, then handle: a flat vector, walked for every value.
  std::vector<TopicSubscriber> subscribers;
  RtdValue value;

  bool HasSubscriber(TopicSubscriber s) const;
  // False when it was there already / was not there.
  bool AddSubscriber(TopicSubscriber s);
  bool RemoveSubscriber(TopicSubscriber s);
};

// A request text split into its address prefix and topic text: "@A, b:X" gives the
// SIDs {"A", "B"} and the text "X"; a text without "@" has no SIDs. A prefix without
// ":" leaves the text empty and drops the SID being collected.
struct TopicAddress {
  std::vector<std::string> sids;
  std::string text;
};
TopicAddress ParseTopicAddress(std::string_view request);

// The topic's text, or "@" + SIDs joined by "," + ":" + text when it has SIDs.
std::string FullTopicName(const RtdTopic& topic);

// Every topic by id (kept in id order, and in a flat index for Find) and by text.
// Server thread only.
class TopicTable {
 public:
  // The topic with exactly this text and SID list, created (with a fresh id) when there
  // is none; *created tells which.
  RtdTopic* FindOrCreate(const TopicAddress& address, bool* created);
  RtdTopic* Find(uint32_t id);
  // Frees the topic; its id may be given out again after the counter wraps.
  void Remove(uint32_t id);
  size_t size() const { return by_id_.size(); }
  // Topics that are not bus topics, counted as they come and go (the auto-start check
  // asks at every new topic).
  size_t ordinary_count() const { return ordinary_; }
  // Topics in id order. The map must not change while it is walked.
  const std::map<uint32_t, std::unique_ptr<RtdTopic>>& by_id() const { return by_id_; }
  // Ids run from `next` on; for tests of the wrap.
  void SetNextIdForTesting(uint32_t next) { next_id_ = next; }

 private:
  uint32_t AllocateId();

  std::map<uint32_t, std::unique_ptr<RtdTopic>> by_id_;
  FlatIndex<uint32_t, RtdTopic*> index_;  // by_id_ again, for Find
  std::multimap<std::string, RtdTopic*> by_text_;
  uint32_t next_id_ = 1;
  bool wrapped_ = false;
  size_t ordinary_ = 0;
};

}  // namespace orvex
