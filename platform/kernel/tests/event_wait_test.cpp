#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/thread.h"

namespace orvex::platform {
namespace {

// Named events of this test process (both backends), closed at the end.
class Events {
 public:
  explicit Events(size_t n) {
    const std::string stem = "Local\\EventWaitTest" + std::to_string(CurrentProcessId()) + "_";
    for (size_t i = 0; i < n; ++i) {
      events_.push_back(CreateNamedEvent(stem + std::to_string(i), nullptr, nullptr));
    }
  }
  ~Events() {
    for (EventObject* e : events_) CloseEvent(e);
  }
  EventObject* const* data() const { return events_.data(); }
  EventObject* operator[](size_t i) const { return events_[i]; }
  size_t size() const { return events_.size(); }

 private:
  std::vector<EventObject*> events_;
};

TEST(WaitAnyEvent, AnswersTheSignalledEventWithoutWaiting) {
  Events events(3);
  for (size_t i = 0; i < events.size(); ++i) ASSERT_NE(events[i], nullptr);
  SetEvent(events[2]);
  EXPECT_EQ(WaitAnyEvent(events.data(), events.size(), kInfinite), 2);
  // Nothing is reset by the wait.
  EXPECT_EQ(WaitAnyEvent(events.data(), events.size(), 0), 2);
  ResetEvent(events[2]);
  EXPECT_EQ(WaitAnyEvent(events.data(), events.size(), 0), -1);
}

TEST(WaitAnyEvent, TimesOutWhenNoneIsSet) {
  Events events(2);
  const uint32_t t0 = TickCount();
  EXPECT_EQ(WaitAnyEvent(events.data(), events.size(), 60), -1);
  const uint32_t spent = TickCount() - t0;
  EXPECT_GE(spent, 50u);
  EXPECT_LT(spent, 2000u);
}

TEST(WaitAnyEvent, WakesOnASetFromAnotherThread) {
  Events events(5);
  for (size_t target : {size_t{0}, size_t{3}, size_t{4}}) {
    for (size_t i = 0; i < events.size(); ++i) ResetEvent(events[i]);
    std::thread setter([&] {
      SleepMs(30);
      SetEvent(events[target]);
    });
    const uint32_t t0 = TickCount();
    EXPECT_EQ(WaitAnyEvent(events.data(), events.size(), 10000), static_cast<int>(target));
    EXPECT_LT(TickCount() - t0, 5000u) << "woken by the set, not the time-out";
    setter.join();
  }
}

TEST(WaitAnyEvent, RefusesNullAndTooManyEvents) {
  Events events(1);
  EventObject* with_null[2] = {events[0], nullptr};
  EXPECT_EQ(WaitAnyEvent(with_null, 2, 0), -2);
  std::vector<EventObject*> many(kMaxWaitEvents + 1, events[0]);
  EXPECT_EQ(WaitAnyEvent(many.data(), many.size(), 0), -2);
  EXPECT_EQ(WaitAnyEvent(events.data(), 0, 0), -2);
}

TEST(WaitAnyEvent, UnnamedEventsWakeToo) {
  EventObject* a = CreateUnnamedEvent();
  EventObject* b = CreateUnnamedEvent();
  EventObject* both[2] = {a, b};
  std::thread setter([&] {
    SleepMs(20);
    SetEvent(b);
  });
  EXPECT_EQ(WaitAnyEvent(both, 2, 10000), 1);
  setter.join();
  CloseEvent(a);
  CloseEvent(b);
}

}  // namespace
}  // namespace orvex::platform
