#include "bus/publisher_sid_list.h"

#include <algorithm>

namespace orvex {

void PublisherSidList::Append(const std::string& sid) {
  if (!Contains(sid)) entries_.push_back(sid);
}

size_t PublisherSidList::RemoveAll(const std::string& sid) {
  const auto old_size = entries_.size();
  entries_.erase(std::remove(entries_.begin(), entries_.end(), sid), entries_.end());
  return old_size - entries_.size();
}

void PublisherSidList::PushFront(const std::string& sid) {
  entries_.insert(entries_.begin(), sid);
}

std::string PublisherSidList::Head() const {
  return entries_.empty() ? std::string() : entries_.front();
}

bool PublisherSidList::Contains(const std::string& sid) const {
  return std::find(entries_.begin(), entries_.end(), sid) != entries_.end();
}

std::string SelectPublisherSid(const std::vector<std::string>& topic_sids,
                               const PublisherSidList& list) {
  if (topic_sids.size() == 1 && topic_sids[0] == kBusSid) return std::string(kBusSid);
  if (list.empty()) return std::string();
  if (topic_sids.empty()) return list.Head();
  for (const std::string& sid : topic_sids) {
    if (list.Contains(sid)) return sid;
  }
  return std::string();
}

}  // namespace orvex
