#include "bus/bus_topic_table.h"

#include <algorithm>

#include "bus/rtd_server.h"
#include "platform/clock.h"

namespace orvex {

using VantelTopic::CIntervalCounter;

BusTopicTable::BusTopicTable(RtdServer* server) : server_(server) {
  auto ticker =
      std::make_unique<CIntervalCounter>(server, "TICKER", 1000, CIntervalCounter::Mode::kCount);
  auto timer =
      std::make_unique<CIntervalCounter>(server, "TIMER", 500, CIntervalCounter::Mode::kTime);
  ticker_ = ticker.get();
  timer_ = timer.get();
  objects_.push_back(std::move(ticker));
  objects_.push_back(std::move(timer));
  objects_.push_back(std::make_unique<VantelTopic::CPubSidList>(server, "PUBLIST"));
  objects_.push_back(std::make_unique<VantelTopic::CDefPubSid>(server, "DEFPUB"));
  auto conflated = std::make_unique<VantelTopic::CConflatedCount>(server, "CONFLATED", 1000);
  conflated_ = conflated.get();
  objects_.push_back(std::move(conflated));
  objects_.push_back(std::make_unique<VantelTopic::CDefault>(server, "", kDefaultText));
  publist_ = objects_[2].get();
  defpub_ = objects_[3].get();
}

void BusTopicTable::Attach(const RtdTopic& topic) {
  ++attached_count_;
  for (auto& object : objects_) {
    if (!object->Matches(topic.text)) continue;
    const bool first = object->attached().empty();
    object->attached().insert(topic.id);
    if (first) object->Update(&object->value());
    server_->PublishValue(topic.id, 0, object->value());
    return;
  }
}

void BusTopicTable::Detach(const RtdTopic& topic) {
  if (attached_count_ > 0) --attached_count_;
  for (auto& object : objects_) {
    if (object->attached().erase(topic.id) != 0) return;
  }
}

void BusTopicTable::OnPeriodic() {
  UpdateAndPublish(*ticker_);
  UpdateAndPublish(*timer_);
  UpdateAndPublish(*conflated_);
}

uint32_t BusTopicTable::DueInMs() const {
  const uint32_t now = platform::TickCount();
  uint32_t due = platform::kInfinite;
  for (const CIntervalCounter* counter : {ticker_, timer_}) {
    if (!counter->attached().empty()) due = std::min(due, counter->DueInMs(now));
  }
  if (!conflated_->attached().empty()) due = std::min(due, conflated_->DueInMs(now));
  return due;
}

void BusTopicTable::RefreshLists() {
  UpdateAndPublish(*publist_);
  UpdateAndPublish(*defpub_);
}

void BusTopicTable::UpdateAndPublish(VantelTopic::CBase& object) {
  if (object.attached().empty() || !object.Update(&object.value())) return;
  Publish(object);
}

void BusTopicTable::Publish(VantelTopic::CBase& object) {
  // PublishValue never attaches or detaches, so the set is stable while walked.
  for (uint32_t id : object.attached()) server_->PublishValue(id, 0, object.value());
}

}  // namespace orvex
