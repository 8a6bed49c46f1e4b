#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvex {

struct RtdTopic;

// Topic id -> topic in one flat array (open addressing, linear probing), the look-up
// every value from a publisher makes: one or two probes into contiguous memory instead
// of a walk down a tree. Grows by doubling at half load; removal shifts the entries
// after it back, leaving no tombstones, so churn of topics never slows it down. Not
// thread-safe; the topic table's owner (the server thread) uses it.
class TopicIdIndex {
 public:
  // The topic under `id`, or null (also for id 0, which is never a topic's).
  RtdTopic* Find(uint32_t id) const;
  // Enters `topic` under `id` (not 0); replaces what was there under the same id.
  void Insert(uint32_t id, RtdTopic* topic);
  // Removes `id`; nothing when it is not there.
  void Erase(uint32_t id);
  size_t size() const { return size_; }

 private:
  struct Slot {
    uint32_t id = 0;  // 0: empty
    RtdTopic* topic = nullptr;
  };
  size_t Home(uint32_t id) const;
  void Grow();

  std::vector<Slot> slots_;  // a power of two in size, or empty
  size_t size_ = 0;
  int shift_ = 32;  // 32 - log2(slots_.size())
};

}  // namespace orvex
