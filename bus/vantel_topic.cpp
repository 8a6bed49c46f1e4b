#include "bus/vantel_topic.h"

#include <chrono>

#include "base/no_case.h"
#include "bus/rtd_server.h"
#include "platform/clock.h"

namespace orvex::VantelTopic {
bool CBase::Matches(std::string_view text) const {
  return EqualsNoCase(text, name_);
}

CConst::CConst(RtdServer* server, std::string name, std::string_view text)
    : CBase(server, std::move(name)) {
  value().SetText(text);
}

bool CConst::Update(RtdValue*) {
  return true;
}

bool CDefault::Matches(std::string_view) const {
  return true;
}

bool CDefault::Update(RtdValue*) {
  return true;
}

CIntervalCounter::CIntervalCounter(RtdServer* server, std::string name, uint32_t period_ms,
                                   Mode mode)
    : CBase(server, std::move(name)), period_ms_(period_ms), mode_(mode) {}

bool CIntervalCounter::Update(RtdValue* value) {
  const uint32_t now = platform::TickCount();
  if (counter_ != 0 && now - last_update_ < period_ms_) return false;
  // Wraps to 1, never to a negative count.
  counter_ = counter_ == INT32_MAX ? 1 : counter_ + 1;
  if (mode_ == Mode::kCount) {
    value->SetInt32(counter_);
  } else {
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    value->SetDateTime(std::chrono::duration_cast<std::chrono::seconds>(since_epoch).count());
  }
  last_update_ = now;
  return true;
}

uint32_t CIntervalCounter::DueInMs(uint32_t now) const {
  const uint32_t since = now - last_update_;
  return counter_ == 0 || since >= period_ms_ ? 0 : period_ms_ - since;
}

bool CPubSidList::Update(RtdValue* value) {
  std::string text;
  for (const auto& [sid, client] : server()->sid_map()) {
    if (!text.empty()) text += ',';
    text += sid;
  }
  value->SetText(text);
  return true;
}

bool CDefPubSid::Update(RtdValue* value) {
  value->SetText(server()->publisher_list().Head());
  return true;
}

uint32_t CConflatedCount::DueInMs(uint32_t now) const {
  if (published_ && server()->conflated_total() == count_) return platform::kInfinite;
  const uint32_t since = now - last_update_;
  return !published_ || since >= period_ms_ ? 0 : period_ms_ - since;
}

bool CConflatedCount::Update(RtdValue* value) {
  const uint32_t now = platform::TickCount();
  if (published_ && now - last_update_ < period_ms_) return false;
  const uint64_t count = server()->conflated_total();
  if (published_ && count == count_) return false;
  value->SetInt64(static_cast<int64_t>(count));
  count_ = count;
  published_ = true;
  last_update_ = now;
  return true;
}

}  // namespace orvex::VantelTopic
