#include "rtd/topic_book.h"

#include "protocol/publisher_sid.h"
#include "rtd/topic_form.h"

namespace orvex::rtd {

namespace {

// Handles from here up belong to the bus link's own topics.
constexpr uint32_t kFirstReservedHandle = 0xFFFFFF00u;

}  // namespace

RtdTopicBook::Opened RtdTopicBook::Connect(int32_t topic_id, const std::string& request) {
  std::lock_guard<std::mutex> hold(lock_);
  Opened opened;
  if (cells_.count(topic_id) != 0) {
    opened.outcome = ConnectOutcome::kDuplicateId;
    return opened;
  }
  auto found = by_request_.find(request);
  if (found == by_request_.end()) {
    if (topics_.size() >= kMaxBusTopics) {
      opened.outcome = ConnectOutcome::kTooManyTopics;
      return opened;
    }
    while (next_handle_ == 0 || next_handle_ >= kFirstReservedHandle ||
           topics_.count(next_handle_) != 0) {
      next_handle_ = next_handle_ >= kFirstReservedHandle ? 1 : next_handle_ + 1;
    }
    const uint32_t handle = next_handle_++;
    BusTopic& added = topics_[handle];
    added.request = request;
    added.bus_away = bus_away_;
    added.publisher_here = Served(added);
    found = by_request_.emplace(added.request, handle).first;
    opened.new_bus_topic = true;
  }
  BusTopic& topic = topics_.at(found->second);
  topic.cells.push_back(topic_id);
  cells_.emplace(topic_id, found->second);
  opened.handle = found->second;
  opened.current = Shown(topic);
  return opened;
}

uint32_t RtdTopicBook::Disconnect(int32_t topic_id) {
  std::lock_guard<std::mutex> hold(lock_);
  auto cell = cells_.find(topic_id);
  if (cell == cells_.end()) return 0;
  const uint32_t handle = cell->second;
  cells_.erase(cell);
  BusTopic& topic = topics_.at(handle);
  std::erase(topic.cells, topic_id);
  if (!topic.cells.empty()) return 0;
  by_request_.erase(std::string_view(topic.request));
  topics_.erase(handle);
  // A pending change of a closed topic would name no cell; drop it.
  std::erase(changed_, handle);
  return handle;
}

bool RtdTopicBook::OnValue(uint32_t handle, const RtdValue& value) {
  std::lock_guard<std::mutex> hold(lock_);
  auto found = topics_.find(handle);
  if (found == topics_.end()) return false;
  BusTopic& topic = found->second;
  // Only the newest counts: a burst between two refreshes is one entry.
  topic.value = value;
  topic.has_value = true;
  // A value proves the publisher is there, whatever a list said a moment ago.
  topic.publisher_here = true;
  topic.bus_away = false;
  return MarkChanged(handle, topic);
}

bool RtdTopicBook::OnPublishers(std::string_view publist) {
  std::lock_guard<std::mutex> hold(lock_);
  publishers_.clear();
  while (!publist.empty()) {
    const size_t comma = publist.find(',');
    const std::string sid = NormalizeSid(publist.substr(0, comma));
    if (!sid.empty()) publishers_.insert(sid);
    if (comma == std::string_view::npos) break;
    publist.remove_prefix(comma + 1);
  }
  publist_seen_ = true;
  return RecheckPublishers();
}

bool RtdTopicBook::OnDefaultPublisher(std::string_view defpub) {
  std::lock_guard<std::mutex> hold(lock_);
  default_publisher_ = NormalizeSid(defpub);
  defpub_seen_ = true;
  return RecheckPublishers();
}

bool RtdTopicBook::OnBusAway() {
  std::lock_guard<std::mutex> hold(lock_);
  publist_seen_ = defpub_seen_ = false;
  bus_away_ = true;
  bool notify = false;
  for (auto& [handle, topic] : topics_) {
    if (topic.bus_away) continue;
    topic.bus_away = true;
    notify = MarkChanged(handle, topic) || notify;
  }
  return notify;
}

bool RtdTopicBook::OnBusBack() {
  std::lock_guard<std::mutex> hold(lock_);
  bus_away_ = false;
  bool notify = false;
  for (auto& [handle, topic] : topics_) {
    // The new bus numbers everything afresh and sends what it has; until then wait.
    topic.bus_away = false;
    topic.has_value = false;
    topic.value.Clear();
    topic.publisher_here = true;
    notify = MarkChanged(handle, topic) || notify;
  }
  return notify;
}

std::vector<std::pair<int32_t, CellValue>> RtdTopicBook::Refresh() {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<std::pair<int32_t, CellValue>> out;
  out.reserve(changed_.size());
  for (uint32_t handle : changed_) {
    auto found = topics_.find(handle);
    if (found == topics_.end()) continue;
    found->second.changed = false;
    const CellValue shown = Shown(found->second);
    for (int32_t cell : found->second.cells) out.emplace_back(cell, shown);
  }
  changed_.clear();
  armed_ = true;
  return out;
}

std::vector<std::pair<uint32_t, std::string>> RtdTopicBook::OpenBusTopics() const {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<std::pair<uint32_t, std::string>> out;
  out.reserve(topics_.size());
  for (const auto& [handle, topic] : topics_) out.emplace_back(handle, topic.request);
  return out;
}

std::string RtdTopicBook::RequestText(uint32_t handle) const {
  std::lock_guard<std::mutex> hold(lock_);
  auto found = topics_.find(handle);
  return found == topics_.end() ? std::string() : found->second.request;
}

size_t RtdTopicBook::cell_count() const {
  std::lock_guard<std::mutex> hold(lock_);
  return cells_.size();
}

size_t RtdTopicBook::bus_topic_count() const {
  std::lock_guard<std::mutex> hold(lock_);
  return topics_.size();
}

size_t RtdTopicBook::ApproximateBytes() const {
  std::lock_guard<std::mutex> hold(lock_);
  // Hash nodes carry a next pointer and the cached hash beside the pair.
  constexpr size_t kNode = 2 * sizeof(void*);
  size_t bytes = cells_.bucket_count() * sizeof(void*) + topics_.bucket_count() * sizeof(void*) +
                 by_request_.bucket_count() * sizeof(void*) +
                 changed_.capacity() * sizeof(uint32_t);
  bytes += cells_.size() * (kNode + sizeof(std::pair<const int32_t, uint32_t>));
  for (const auto& [handle, topic] : topics_) {
    bytes += 2 * kNode + sizeof(std::pair<const uint32_t, BusTopic>) +
             sizeof(std::pair<const std::string_view, uint32_t>);
    // Texts past the string's own small buffer live on the heap.
    if (topic.request.capacity() > 15) bytes += topic.request.capacity() + 1;
    bytes += topic.cells.capacity() * sizeof(int32_t);
  }
  return bytes;
}

CellValue RtdTopicBook::Shown(const BusTopic& topic) const {
  if (topic.bus_away) return CellValue::Error(CellError::kNull);
  if (!topic.publisher_here) return CellValue::Error(CellError::kRef);
  if (!topic.has_value) return CellValue::Error(CellError::kNA);
  return ToCellValue(topic.value);
}

bool RtdTopicBook::Served(const BusTopic& topic) const {
  // Worked out when asked (connects, list changes): topics do not carry their SIDs.
  const std::vector<std::string> sids = AddressedSids(topic.request);
  if (sids.size() == 1 && sids.front() == kBusSid) return true;
  if (sids.empty()) return !defpub_seen_ || !default_publisher_.empty();
  if (!publist_seen_) return true;
  for (const std::string& sid : sids) {
    if (publishers_.count(sid) != 0) return true;
  }
  return false;
}

bool RtdTopicBook::MarkChanged(uint32_t handle, BusTopic& topic) {
  if (!topic.changed) {
    topic.changed = true;
    changed_.push_back(handle);
  }
  if (!armed_) return false;
  armed_ = false;
  return true;
}

bool RtdTopicBook::RecheckPublishers() {
  bool notify = false;
  for (auto& [handle, topic] : topics_) {
    const bool here = Served(topic);
    if (here == topic.publisher_here) continue;
    topic.publisher_here = here;
    notify = MarkChanged(handle, topic) || notify;
  }
  return notify;
}

}  // namespace orvex::rtd
