#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "protocol/rtd_value.h"
#include "rtd/cell_value.h"

namespace orvex::rtd {

// The distinct topic texts one Excel may hold open on the bus at once: the bus's limit
// per client (65,536), less the two publisher lists the bus link follows itself.
inline constexpr size_t kMaxBusTopics = 65536 - 2;

enum class ConnectOutcome {
  kOk,
  kDuplicateId,    // Excel already has a cell under this topic id
  kTooManyTopics,  // kMaxBusTopics distinct texts are already open
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
  // Bytes held for the open topics by this book (containers and texts), for the bench.
  size_t ApproximateBytes() const;

 private:
  enum class State { kWaiting, kValue, kNoPublisher, kBusAway };
  struct BusTopic {
    std::string request;
    std::vector<int32_t> cells;  // Excel topic ids, in connect order
    RtdValue value;              // newest value; valid when has_value
    bool has_value = false;
    bool publisher_here = true;
    bool bus_away = false;
    bool changed = false;
  };

  CellValue Shown(const BusTopic& topic) const;
  bool Served(const BusTopic& topic) const;
  // Marks the topic changed; true when this change is the batch's first.
  bool MarkChanged(uint32_t handle, BusTopic& topic);
  // Re-evaluates every topic's publisher after a list changed.
  bool RecheckPublishers();

  mutable std::mutex lock_;
  std::unordered_map<int32_t, uint32_t> cells_;    // Excel id -> handle
  std::unordered_map<uint32_t, BusTopic> topics_;  // handle -> topic
  // Keys view the request texts held by topics_ (whose nodes never move).
  std::unordered_map<std::string_view, uint32_t> by_request_;  // request -> handle
  std::vector<uint32_t> changed_;                              // handles, first change order
  uint32_t next_handle_ = 1;
  bool armed_ = true;
  bool bus_away_ = false;
  bool publist_seen_ = false;
  bool defpub_seen_ = false;
  std::set<std::string> publishers_;
  std::string default_publisher_;
};

}  // namespace orvex::rtd
