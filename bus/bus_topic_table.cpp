#include "bus/bus_topic_table.h"

#include "bus/rtd_server.h"

namespace orvex {

using VantelTopic::CIntervalCounter;

BusTopicTable::BusTopicTable(RtdServer* server) : server_(server) {
  objects_.push_back(
      std::make_unique<CIntervalCounter>(server, "TICKER", 1000, CIntervalCounter::Mode::kCount));
  objects_.push_back(
      std::make_unique<CIntervalCounter>(server, "TIMER", 500, CIntervalCounter::Mode::kTime));
  objects_.push_back(std::make_unique<VantelTopic::CPubSidList>(server, "PUBLIST"));
  objects_.push_back(std::make_unique<VantelTopic::CDefPubSid>(server, "DEFPUB"));
  objects_.push_back(std::make_unique<VantelTopic::CDefault>(server, "", kDefaultText));
  ticker_ = objects_[0].get();
  timer_ = objects_[1].get();
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
