#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "protocol/rtd_value.h"
#include "rtd/book_limits.h"
#include "rtd/cell_value.h"

namespace orvex::rtd {

enum class ConnectOutcome {
  kOk,
  kDuplicateId,    // Excel already has a cell under this topic id
  kTooManyTopics,  // the limit's count of distinct texts is open, or their bytes are taken
};

// Excel's topic ids and the bus topics behind them: one bus topic (under a handle of
// our own) per distinct request text, shared by every cell that asks for it; the
// newest value of each since Excel's last refresh; the cell states around the values
// (waiting, publisher gone, bus away). Excel's thread connects, disconnects and
// refreshes; the bus link's thread feeds values and states. Every method is safe from
// any thread.
//
// Notifications: a change answers true when Excel must be told (UpdateNotify), once
// per batch: after one true, further changes answer false until the next Refresh.
class RtdTopicBook {
 public:
  explicit RtdTopicBook(BookLimits limits = {});
  RtdTopicBook(const RtdTopicBook&) = delete;
  RtdTopicBook& operator=(const RtdTopicBook&) = delete;

  struct Opened {
    ConnectOutcome outcome = ConnectOutcome::kOk;
    uint32_t handle = 0;         // the bus topic's handle
    bool new_bus_topic = false;  // the caller must ask the bus for it
    CellValue current;           // what the cell shows now
  };

  Opened Connect(int32_t topic_id, const std::string& request);
  // The handle of a bus topic no cell uses any more (the caller closes it on the bus),
  // or 0 (unknown id, or other cells still use the topic).
  uint32_t Disconnect(int32_t topic_id);

  // A value for the bus topic `handle`; unknown handles are ignored.
  bool OnValue(uint32_t handle, const RtdValue& value);
  // The primary publishers on the bus (the SIDs of the bus topic PUBLIST, a text
  // joined by ",") and the default publisher (DEFPUB). Topics whose publisher is not
  // among them show kRef until it comes back.
  bool OnPublishers(std::string_view publist);
  bool OnDefaultPublisher(std::string_view defpub);
  // The bus went away (every cell shows kNull), or a new link is up (cells wait for
  // the new bus's values and publisher lists).
  bool OnBusAway();
  bool OnBusBack();

  // Every cell of each bus topic changed since the last call, with what it shows now;
  // arms the next notification.
  std::vector<std::pair<int32_t, CellValue>> Refresh();

  // The bus topics open now (handle -> request text), for a new link.
  std::vector<std::pair<uint32_t, std::string>> OpenBusTopics() const;
  // The request text of the bus topic `handle`; "" when it is not open.
  std::string RequestText(uint32_t handle) const;
  size_t cell_count() const;
  size_t bus_topic_count() const;
  const BookLimits& limits() const { return limits_; }
  // The slot a handle of this book names (below kMaxBookSlots), or kMaxBookSlots for a
  // value no book hands out; slots are dense, so callers may index by them.
  static size_t SlotOf(uint32_t handle);
  // Bytes held for the open topics by this book (containers and texts), for the bench.
  size_t ApproximateBytes() const;

 private:
  // A slot of topics_. Most topics have one cell, so the first is kept in place.
  struct BusTopic {
    std::string request;
    RtdValue value;                              // newest value; valid when has_value
    std::unique_ptr<std::vector<int32_t>> more;  // cells after the first, in connect order
    int32_t first_cell = 0;
    uint32_t handle = 0;     // the slot's current or last handle (its generation lives on)
    uint32_t next_same = 0;  // slot + 1 of the next open topic in this one's text chain
    bool open : 1 = false;
    bool has_value : 1 = false;
    bool publisher_here : 1 = true;
    bool bus_away : 1 = false;
    bool changed : 1 = false;
  };
  static constexpr uint32_t kNoSlot = UINT32_MAX;

  // The open topic under `handle`, or null.
  BusTopic* Find(uint32_t handle);
  const BusTopic* Find(uint32_t handle) const;
  // A free slot, made ready for a topic under a fresh handle.
  uint32_t TakeSlot();
  // The open topics by text: chains threaded through the slots (next_same), their heads
  // in text_buckets_, so a topic costs a few bytes here rather than a node of its own.
  uint32_t& ChainHead(std::string_view text);
  uint32_t FindText(std::string_view text);  // its slot, or kNoSlot
  void LinkText(uint32_t slot);
  void UnlinkText(uint32_t slot);
  CellValue Shown(const BusTopic& topic) const;
  bool Served(const BusTopic& topic) const;
  // Marks the topic changed; true when this change is the batch's first.
  bool MarkChanged(BusTopic& topic);
  // Re-evaluates every topic's publisher after a list changed.
  bool RecheckPublishers();

  const BookLimits limits_;
  mutable std::mutex lock_;
  std::unordered_map<int32_t, uint32_t> cells_;  // Excel id -> handle
  // Slots by index; a deque, so texts and values never move while they are viewed.
  std::deque<BusTopic> topics_;
  // Slots freed, oldest first: a slot's next handle comes as late as possible, so a
  // value still in flight for its last topic finds nothing under the old handle.
  std::deque<uint32_t> free_slots_;
  std::vector<uint32_t> text_buckets_;  // slot + 1 of each chain's first topic; 0: none
  size_t open_count_ = 0;
  size_t text_bytes_ = 0;          // bytes of the open topics' texts after the address
  std::vector<uint32_t> changed_;  // handles, first change order (closed ones skipped)
  bool armed_ = true;
  bool bus_away_ = false;
  bool publist_seen_ = false;
  bool defpub_seen_ = false;
  std::set<std::string> publishers_;
  std::string default_publisher_;
};

}  // namespace orvex::rtd
