#pragma once
#include <cstddef>
#include <memory>
#include <vector>

#include "bus/rtd_topic.h"
#include "bus/vantel_topic.h"

namespace orvex {

class RtdServer;

// The bus's own topics in match order: TICKER, TIMER, PUBLIST, DEFPUB, CONFLATED and the default
// that answers every other name. Publishes through RtdServer::PublishValue with sender
// 0. Server thread only.
class BusTopicTable {
 public:
  static constexpr char kDefaultText[] =
      "BUS Topic is not valid - use 'TICKER', 'TIMER', 'PUBLIST' or 'DEFPUB'";

  explicit BusTopicTable(RtdServer* server);

  // A bus topic got its first subscriber: the first object whose name matches feeds it
  // from now on, and its subscribers receive the object's value at once.
  void Attach(const RtdTopic& topic);
  // A bus topic lost its last subscriber.
  void Detach(const RtdTopic& topic);
  // Drives TICKER, TIMER and CONFLATED.
  void OnPeriodic();
  // Milliseconds until OnPeriodic has a value to publish (kInfinite: nobody follows
  // TICKER or TIMER).
  uint32_t DueInMs() const;
  // Recomputes PUBLIST and DEFPUB and publishes them (publishers came, went or the
  // default changed).
  void RefreshLists();
  size_t attached_count() const { return attached_count_; }

 private:
  void UpdateAndPublish(VantelTopic::CBase& object);
  void Publish(VantelTopic::CBase& object);

  RtdServer* server_;
  std::vector<std::unique_ptr<VantelTopic::CBase>> objects_;
  VantelTopic::CIntervalCounter* ticker_;
  VantelTopic::CIntervalCounter* timer_;
  VantelTopic::CBase* publist_;
  VantelTopic::CBase* defpub_;
  VantelTopic::CConflatedCount* conflated_;
  size_t attached_count_ = 0;
};

}  // namespace orvex
