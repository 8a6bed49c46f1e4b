// Fan-out: one value, encoded once by the bus, reaches subscribers of both link kinds,
// each under its own handle, in order; values too long for one classic message are
// split for classic subscribers only; a subscriber that fell behind takes what waits in
// batches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/bus_client.h"
#include "protocol/message_codes.h"
#include "protocol/rtd_value.h"
#include "tests/bus_fixture.h"

namespace orvex::test {
namespace {

TEST_F(BusFixture, OneValueReachesEverySubscriberUnderItsOwnHandle) {
  StartBus();
  const std::string long_text(300, 'q');
  const std::string ready = EventName("ready");
  auto* publisher = Spawn({"connect|v2", "register|ABC|pub|1|0", "expect|2|h=1",
                           "expect|7|t=X|save=T", "wait|" + ready, "value|$T|int:1",
                           "value|$T|text:" + long_text, "value|$T|int:3", "expect|9|h=$T"});
  ASSERT_TRUE(WaitLine("Client connected :1 ABC; Publisher"));
  struct Sub {
    const char* kind;
    const char* handle;
  };
  std::vector<platform::ProcessObject*> subs;
  int n = 0;
  for (Sub s : {Sub{"classic", "11"}, Sub{"v2", "22"}, Sub{"classic", "33"}, Sub{"v2", "44"}}) {
    const std::string h = s.handle;
    const std::string name = "S" + std::to_string(++n);
    subs.push_back(
        Spawn({std::string("connect|") + s.kind, "register|" + name + "|s|0|1", "expect|2|h=1",
               "topic|" + h + "|@ABC:X", "signal|" + EventName(name), "until|13|h=" + h + "|v=1",
               "expect|13|h=" + h + "|v=" + long_text, "expect|13|h=" + h + "|v=3", "close|" + h}));
    ASSERT_TRUE(WaitSignal(EventName(name)));
  }
  Signal(ready);
  for (auto* s : subs) EXPECT_EQ(FinishChild(s), 0);
  EXPECT_EQ(FinishChild(publisher), 0);
}

// A subscriber behind by many values: a V2 link gives them all to one read (two at
// most, should the bus not have published its last batch yet), and ReceiveBatch hands
// them out whole and in order, no more at once than asked for.
TEST_F(BusFixture, ASubscriberBehindTakesWhatWaitsInBatches) {
  StartBus();
  using client::LinkKind;
  for (LinkKind kind : {LinkKind::kV2, LinkKind::kV2Polled, LinkKind::kClassic}) {
    SCOPED_TRACE(static_cast<int>(kind));
    // A publisher of each round's own: the last round's may not be gone yet.
    const std::string sid = "PB" + std::to_string(static_cast<int>(kind));
    client::BusClient publisher, subscriber, sentinel;
    ASSERT_TRUE(publisher.Connect(base_, kind) && subscriber.Connect(base_, kind) &&
                sentinel.Connect(base_, kind));
    ASSERT_TRUE(publisher.RegisterAndWait(sid, "p", true, false, nullptr));
    ASSERT_TRUE(subscriber.RegisterAndWait("", "s", false, true, nullptr));
    ASSERT_TRUE(sentinel.RegisterAndWait("", "e", false, true, nullptr));
    client::BusReceived item, end, got;
    ASSERT_TRUE(subscriber.RequestTopic(5, "@" + sid + ":ITEM"));
    ASSERT_TRUE(publisher.ReceiveCode(MSG_TOPIC, &item, 10000));
    ASSERT_TRUE(sentinel.RequestTopic(6, "@" + sid + ":END"));
    ASSERT_TRUE(publisher.ReceiveCode(MSG_TOPIC, &end, 10000));
    constexpr int kValues = 300;
    RtdValue value;
    for (int i = 0; i < kValues; ++i) {
      value.SetText(std::to_string(i) + std::string(i % 150, 'w'));
      ASSERT_TRUE(publisher.Publish(item.handle, value));
    }
    value.SetInt32(1);
    ASSERT_TRUE(publisher.Publish(end.handle, value));
    ASSERT_TRUE(publisher.Flush(10000));  // a classic link queues on this side first
    // The bus has routed every value before this one.
    ASSERT_TRUE(sentinel.ReceiveCode(MSG_VALUE, &got, 10000));
    const uint64_t reads = subscriber.link_reads();
    std::vector<client::BusReceived> batch;
    int next = 0;
    while (next < kValues) {
      batch.clear();
      const size_t n = subscriber.ReceiveBatch(&batch, 7, 10000);
      ASSERT_EQ(n, batch.size());
      ASSERT_GE(n, 1u) << "after " << next;
      ASSERT_LE(n, 7u);
      if (next == 0) {
        EXPECT_EQ(n, 7u);
      }
      for (const client::BusReceived& m : batch) {
        ASSERT_EQ(client::ClassicCodeOf(m.code), MSG_VALUE);
        ASSERT_EQ(m.handle, 5u);
        ASSERT_EQ(m.value.Text(), std::to_string(next) + std::string(next % 150, 'w'));
        ++next;
      }
    }
    if (kind != LinkKind::kClassic) {
      EXPECT_LE(subscriber.link_reads() - reads, 2u);
    }
    batch.clear();
    EXPECT_EQ(subscriber.ReceiveBatch(&batch, 7, 0), 0u);
    EXPECT_TRUE(batch.empty());
  }
}

}  // namespace
}  // namespace orvex::test
