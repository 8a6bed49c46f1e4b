#include "bus/rtd_topic.h"

#include <algorithm>

#include "bus/publisher_sid_list.h"

namespace orvex {

TopicAddress ParseTopicAddress(std::string_view request) {
  TopicAddress out;
  if (request.empty() || request.front() != '@') {
    out.text = std::string(request);
    return out;
  }
  std::string current;
  for (size_t i = 1; i < request.size(); ++i) {
    const char c = request[i];
    if (c == ',' || c == ':') {
      out.sids.push_back(NormalizeSid(current));
      current.clear();
      if (c == ':') {
        out.text = std::string(request.substr(i + 1));
        return out;
      }
    } else {
      current.push_back(c);
    }
  }
  return out;  // no ':': empty text, the SID being collected is dropped
}

std::string FullTopicName(const RtdTopic& topic) {
  if (topic.sids.empty()) return topic.text;
  std::string name = "@";
  for (size_t i = 0; i < topic.sids.size(); ++i) {
    if (i > 0) name += ',';
    name += topic.sids[i];
  }
  return name + ":" + topic.text;
}

bool RtdTopic::HasSubscriber(TopicSubscriber s) const {
  return std::binary_search(subscribers.begin(), subscribers.end(), s);
}

bool RtdTopic::AddSubscriber(TopicSubscriber s) {
  auto it = std::lower_bound(subscribers.begin(), subscribers.end(), s);
  if (it != subscribers.end() && *it == s) return false;
  subscribers.insert(it, s);
  return true;
}

bool RtdTopic::RemoveSubscriber(TopicSubscriber s) {
  auto it = std::lower_bound(subscribers.begin(), subscribers.end(), s);
  if (it == subscribers.end() || *it != s) return false;
  subscribers.erase(it);
  return true;
}

RtdTopic* TopicTable::FindOrCreate(const TopicAddress& address, bool* created) {
  *created = false;
  auto [first, last] = by_text_.equal_range(address.text);
  for (auto it = first; it != last; ++it) {
    if (it->second->sids == address.sids) return it->second;
  }
  auto topic = std::make_unique<RtdTopic>();
  topic->id = AllocateId();
  topic->text = address.text;
  topic->sids = address.sids;
  topic->bus_topic = address.sids.size() == 1 && address.sids[0] == kBusSid;
  RtdTopic* raw = topic.get();
  by_text_.emplace(raw->text, raw);
  index_.Insert(raw->id, raw);
  by_id_.emplace(raw->id, std::move(topic));
  if (!raw->bus_topic) ++ordinary_;
  *created = true;
  return raw;
}

RtdTopic* TopicTable::Find(uint32_t id) {
  return index_.Find(id);
}

void TopicTable::Remove(uint32_t id) {
  auto it = by_id_.find(id);
  if (it == by_id_.end()) return;
  auto [first, last] = by_text_.equal_range(it->second->text);
  for (auto t = first; t != last; ++t) {
    if (t->second == it->second.get()) {
      by_text_.erase(t);
      break;
    }
  }
  if (!it->second->bus_topic) --ordinary_;
  index_.Erase(id);
  by_id_.erase(it);
}

uint32_t TopicTable::AllocateId() {
  for (;;) {
    const uint32_t candidate = next_id_++;
    if (candidate == 0xFFFFFFFFu) wrapped_ = true;
    if (candidate == 0) continue;
    if (wrapped_ && index_.Find(candidate) != nullptr) continue;
    return candidate;
  }
}

}  // namespace orvex
