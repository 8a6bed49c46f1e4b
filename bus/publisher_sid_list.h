#pragma once
#include <string>
#include <vector>

#include "protocol/publisher_sid.h"

namespace orvex {

// The ordered list of normalised publisher SIDs; its head is the default publisher.
// Server thread only.
class PublisherSidList {
 public:
  // Appends `sid` unless it is already listed (a SID that becomes primary twice is
  // listed once, so one removal is enough and the order stays meaningful).
  void Append(const std::string& sid);
  // Removes every entry equal to `sid`; returns how many there were.
  size_t RemoveAll(const std::string& sid);
  // Puts `sid` at the head.
  void PushFront(const std::string& sid);
  // The default publisher's SID, or the empty text for an empty list.
  std::string Head() const;
  bool Contains(const std::string& sid) const;
  bool empty() const { return entries_.empty(); }
  const std::vector<std::string>& entries() const { return entries_; }

 private:
  std::vector<std::string> entries_;
};

// The SID a topic with the SID list `topic_sids` is routed to: "BUS" for a bus topic,
// empty when no publisher is listed, the head for a topic without SIDs, else the first
// of the topic's SIDs that is listed (empty when none is).
std::string SelectPublisherSid(const std::vector<std::string>& topic_sids,
                               const PublisherSidList& list);

}  // namespace orvex
