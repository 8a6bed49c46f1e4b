#include "rtd/topic_book.h"

#include <algorithm>
#include <functional>

#include "protocol/publisher_sid.h"
#include "rtd/topic_form.h"

namespace orvex::rtd {

namespace {

// A handle is the slot + 1 in its low bits and the slot's generation above them.
constexpr int kSlotBits = 24;
constexpr uint32_t kSlotMask = (1u << kSlotBits) - 1;
static_assert(kMaxBookSlots < kSlotMask, "slot + 1 must fit below the generation");
// The bus link's own handles (0xFFFFFFF1...) lie above every handle of a book.
static_assert((0xFFu << kSlotBits | kMaxBookSlots) < 0xFFFFFF00u);

}  // namespace

RtdTopicBook::RtdTopicBook(BookLimits limits) : limits_(limits) {}

size_t RtdTopicBook::SlotOf(uint32_t handle) {
  const uint32_t low = handle & kSlotMask;
  return low == 0 || low > kMaxBookSlots ? kMaxBookSlots : low - 1;
}

RtdTopicBook::BusTopic* RtdTopicBook::Find(uint32_t handle) {
  const size_t slot = SlotOf(handle);
  if (slot >= topics_.size()) return nullptr;
  BusTopic& topic = topics_[slot];
  return topic.open && topic.handle == handle ? &topic : nullptr;
}

const RtdTopicBook::BusTopic* RtdTopicBook::Find(uint32_t handle) const {
  return const_cast<RtdTopicBook*>(this)->Find(handle);
}

uint32_t RtdTopicBook::TakeSlot() {
  uint32_t slot;
  if (free_slots_.empty()) {
    slot = static_cast<uint32_t>(topics_.size());
    topics_.emplace_back();
  } else {
    slot = free_slots_.front();
    free_slots_.pop_front();
  }
  BusTopic& topic = topics_[slot];
  const uint32_t generation = topic.handle == 0 ? 0 : ((topic.handle >> kSlotBits) + 1) & 0xFFu;
  const uint32_t handle = generation << kSlotBits | (slot + 1);
  topic = BusTopic{};
  topic.handle = handle;
  topic.open = true;
  return slot;
}

uint32_t& RtdTopicBook::ChainHead(std::string_view text) {
  const size_t hash = std::hash<std::string_view>{}(text);
  return text_buckets_[hash & (text_buckets_.size() - 1)];
}

uint32_t RtdTopicBook::FindText(std::string_view text) {
  if (text_buckets_.empty()) return kNoSlot;
  for (uint32_t at = ChainHead(text); at != 0; at = topics_[at - 1].next_same) {
    if (topics_[at - 1].request == text) return at - 1;
  }
  return kNoSlot;
}

void RtdTopicBook::LinkText(uint32_t slot) {
  if (open_count_ >= text_buckets_.size()) {
    // At most one topic per bucket on average: double and thread every chain anew.
    text_buckets_.assign(std::max<size_t>(64, text_buckets_.size() * 2), 0);
    for (uint32_t other = 0; other < topics_.size(); ++other) {
      if (!topics_[other].open || other == slot) continue;
      uint32_t& head = ChainHead(topics_[other].request);
      topics_[other].next_same = head;
      head = other + 1;
    }
  }
  uint32_t& head = ChainHead(topics_[slot].request);
  topics_[slot].next_same = head;
  head = slot + 1;
}

void RtdTopicBook::UnlinkText(uint32_t slot) {
  uint32_t* link = &ChainHead(topics_[slot].request);
  while (*link != 0 && *link != slot + 1) link = &topics_[*link - 1].next_same;
  if (*link != 0) *link = topics_[slot].next_same;
}

RtdTopicBook::Opened RtdTopicBook::Connect(int32_t topic_id, const std::string& request) {
  std::lock_guard<std::mutex> hold(lock_);
  Opened opened;
  if (cells_.count(topic_id) != 0) {
    opened.outcome = ConnectOutcome::kDuplicateId;
    return opened;
  }
  const uint32_t found = FindText(request);
  BusTopic* topic = nullptr;
  if (found != kNoSlot) {
    topic = &topics_[found];
    if (!topic->more) topic->more = std::make_unique<std::vector<int32_t>>();
    topic->more->push_back(topic_id);
  } else {
    const size_t bytes = TopicTextBytes(request);
    if (open_count_ >= limits_.topics || bytes > limits_.text_bytes - text_bytes_) {
      opened.outcome = ConnectOutcome::kTooManyTopics;
      return opened;
    }
    const uint32_t slot = TakeSlot();
    topic = &topics_[slot];
    topic->request = request;
    topic->first_cell = topic_id;
    topic->bus_away = bus_away_;
    topic->publisher_here = Served(*topic);
    LinkText(slot);
    ++open_count_;
    text_bytes_ += bytes;
    opened.new_bus_topic = true;
  }
  cells_.emplace(topic_id, topic->handle);
  opened.handle = topic->handle;
  opened.current = Shown(*topic);
  return opened;
}

uint32_t RtdTopicBook::Disconnect(int32_t topic_id) {
  std::lock_guard<std::mutex> hold(lock_);
  auto cell = cells_.find(topic_id);
  if (cell == cells_.end()) return 0;
  const uint32_t handle = cell->second;
  cells_.erase(cell);
  BusTopic& topic = *Find(handle);
  if (topic.more && !topic.more->empty()) {
    // Another cell stays: keep the rest in connect order.
    if (topic.first_cell == topic_id) {
      topic.first_cell = topic.more->front();
      topic.more->erase(topic.more->begin());
    } else {
      std::erase(*topic.more, topic_id);
    }
    if (topic.more->empty()) topic.more.reset();
    return 0;
  }
  const uint32_t slot = static_cast<uint32_t>(SlotOf(handle));
  UnlinkText(slot);
  --open_count_;
  text_bytes_ -= TopicTextBytes(topic.request);
  // Keep only the handle (for the slot's next generation); the rest goes now.
  topic = BusTopic{};
  topic.handle = handle;
  free_slots_.push_back(slot);
  // A pending change of a closed topic names no cell: Refresh skips it. Drop such entries
  // once they outnumber the open topics, so closing many between refreshes stays linear.
  if (changed_.size() > 2 * open_count_ + 64) {
    std::erase_if(changed_, [&](uint32_t h) { return Find(h) == nullptr; });
  }
  return handle;
}

bool RtdTopicBook::OnValue(uint32_t handle, const RtdValue& value) {
  std::lock_guard<std::mutex> hold(lock_);
  BusTopic* found = Find(handle);
  if (!found) return false;
  BusTopic& topic = *found;
  // Only the newest counts: a burst between two refreshes is one entry.
  topic.value = value;
  topic.has_value = true;
  // A value proves the publisher is there, whatever a list said a moment ago.
  topic.publisher_here = true;
  topic.bus_away = false;
  return MarkChanged(topic);
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
  for (BusTopic& topic : topics_) {
    if (!topic.open || topic.bus_away) continue;
    topic.bus_away = true;
    notify = MarkChanged(topic) || notify;
  }
  return notify;
}

bool RtdTopicBook::OnBusBack() {
  std::lock_guard<std::mutex> hold(lock_);
  bus_away_ = false;
  bool notify = false;
  for (BusTopic& topic : topics_) {
    if (!topic.open) continue;
    // The new bus numbers everything afresh and sends what it has; until then wait.
    topic.bus_away = false;
    topic.has_value = false;
    topic.value.Clear();
    topic.publisher_here = true;
    notify = MarkChanged(topic) || notify;
  }
  return notify;
}

std::vector<std::pair<int32_t, CellValue>> RtdTopicBook::Refresh() {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<std::pair<int32_t, CellValue>> out;
  out.reserve(changed_.size());
  for (uint32_t handle : changed_) {
    BusTopic* topic = Find(handle);
    if (!topic || !topic->changed) continue;
    topic->changed = false;
    const CellValue shown = Shown(*topic);
    out.emplace_back(topic->first_cell, shown);
    if (topic->more) {
      for (int32_t cell : *topic->more) out.emplace_back(cell, shown);
    }
  }
  changed_.clear();
  armed_ = true;
  return out;
}

std::vector<std::pair<uint32_t, std::string>> RtdTopicBook::OpenBusTopics() const {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<std::pair<uint32_t, std::string>> out;
  out.reserve(open_count_);
  for (const BusTopic& topic : topics_) {
    if (topic.open) out.emplace_back(topic.handle, topic.request);
  }
  return out;
}

std::string RtdTopicBook::RequestText(uint32_t handle) const {
  std::lock_guard<std::mutex> hold(lock_);
  const BusTopic* found = Find(handle);
  return found ? found->request : std::string();
}

size_t RtdTopicBook::cell_count() const {
  std::lock_guard<std::mutex> hold(lock_);
  return cells_.size();
}

size_t RtdTopicBook::bus_topic_count() const {
  std::lock_guard<std::mutex> hold(lock_);
  return open_count_;
}

size_t RtdTopicBook::ApproximateBytes() const {
  std::lock_guard<std::mutex> hold(lock_);
  // A hash node is a next pointer and its element; int keys do not cache their hashes.
  size_t bytes = cells_.bucket_count() * sizeof(void*) +
                 cells_.size() * (sizeof(void*) + sizeof(std::pair<const int32_t, uint32_t>)) +
                 text_buckets_.capacity() * sizeof(uint32_t) + topics_.size() * sizeof(BusTopic) +
                 free_slots_.size() * sizeof(uint32_t) + changed_.capacity() * sizeof(uint32_t);
  for (const BusTopic& topic : topics_) {
    // Texts past the string's own small buffer live on the heap.
    if (topic.request.capacity() > 15) bytes += topic.request.capacity() + 1;
    if (topic.more) bytes += sizeof(*topic.more) + topic.more->capacity() * sizeof(int32_t);
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

bool RtdTopicBook::MarkChanged(BusTopic& topic) {
  if (!topic.changed) {
    topic.changed = true;
    changed_.push_back(topic.handle);
  }
  if (!armed_) return false;
  armed_ = false;
  return true;
}

bool RtdTopicBook::RecheckPublishers() {
  bool notify = false;
  for (BusTopic& topic : topics_) {
    if (!topic.open) continue;
    const bool here = Served(topic);
    if (here == topic.publisher_here) continue;
    topic.publisher_here = here;
    notify = MarkChanged(topic) || notify;
  }
  return notify;
}

}  // namespace orvex::rtd
