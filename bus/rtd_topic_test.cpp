#include "bus/rtd_topic.h"

#include <gtest/gtest.h>

#include "bus/vantel_topic.h"

namespace orvex {
namespace {

TopicAddress Parse(const char* text) {
  return ParseTopicAddress(text);
}

TEST(ParseTopicAddressTest, SplitsPrefixAndNormalisesSids) {
  EXPECT_EQ(Parse("ACME.LAST").sids.size(), 0u);
  EXPECT_EQ(Parse("ACME.LAST").text, "ACME.LAST");
  EXPECT_EQ(Parse("").text, "");
  const TopicAddress a = Parse("@abc ,  xyz:ACME:LAST");
  EXPECT_EQ(a.sids, (std::vector<std::string>{"ABC", "XYZ"}));
  EXPECT_EQ(a.text, "ACME:LAST");  // only the first ':' ends the prefix
  EXPECT_EQ(Parse("@,:T").sids, (std::vector<std::string>{"", ""}));
  EXPECT_EQ(Parse("@:T").sids, (std::vector<std::string>{""}));
  // Without ':' the text is empty and the SID being collected is dropped.
  const TopicAddress open = Parse("@A,B");
  EXPECT_EQ(open.sids, (std::vector<std::string>{"A"}));
  EXPECT_EQ(open.text, "");
}

TEST(TopicTableTest, OneTopicPerTextAndSidList) {
  TopicTable table;
  bool created = false;
  RtdTopic* plain = table.FindOrCreate(Parse("ACME.LAST"), &created);
  EXPECT_TRUE(created);
  RtdTopic* addressed = table.FindOrCreate(Parse("@abc :ACME.LAST"), &created);
  EXPECT_TRUE(created);
  EXPECT_NE(plain, addressed);
  EXPECT_EQ(table.FindOrCreate(Parse("@ABC:ACME.LAST"), &created), addressed);
  EXPECT_FALSE(created);
  EXPECT_NE(table.FindOrCreate(Parse("acme.last"), &created), plain);  // texts keep case
  EXPECT_EQ(FullTopicName(*addressed), "@ABC:ACME.LAST");
  EXPECT_EQ(FullTopicName(*plain), "ACME.LAST");
  RtdTopic* ticker = table.FindOrCreate(Parse("@bus:TICKER"), &created);
  EXPECT_TRUE(ticker->bus_topic);
  EXPECT_FALSE(table.FindOrCreate(Parse("@BUS,A:TICKER"), &created)->bus_topic);
  EXPECT_EQ(table.ordinary_count(), 4u);  // every topic but the bus topic
  table.Remove(plain->id);
  EXPECT_EQ(table.Find(1), nullptr);
  EXPECT_EQ(table.ordinary_count(), 3u);
  const uint32_t ticker_id = ticker->id;
  table.Remove(ticker_id);
  table.Remove(ticker_id);  // gone already: counts nothing
  EXPECT_EQ(table.ordinary_count(), 3u);
  EXPECT_EQ(table.FindOrCreate(Parse("ACME.LAST"), &created)->id, 6u);
  EXPECT_EQ(table.ordinary_count(), 4u);
}

// Values go to subscribers in client id order, then handle order, whatever the order
// they subscribed in; a pair is held once.
TEST(TopicTableTest, SubscribersStayOrderedByClientThenHandle) {
  RtdTopic topic;
  const TopicSubscriber adds[] = {{7, 3}, {2, 9}, {7, 1}, {2, 1}, {65535, 0}, {1, 0xFFFFFFFFu}};
  for (const TopicSubscriber& s : adds) EXPECT_TRUE(topic.AddSubscriber(s));
  EXPECT_FALSE(topic.AddSubscriber({7, 1}));
  const std::vector<TopicSubscriber> ordered = {{1, 0xFFFFFFFFu}, {2, 1}, {2, 9},
                                                {7, 1},           {7, 3}, {65535, 0}};
  EXPECT_EQ(topic.subscribers, ordered);
  EXPECT_TRUE(topic.HasSubscriber({2, 9}));
  EXPECT_FALSE(topic.HasSubscriber({9, 2}));
  EXPECT_TRUE(topic.RemoveSubscriber({2, 9}));
  EXPECT_FALSE(topic.RemoveSubscriber({2, 9}));
  EXPECT_FALSE(topic.RemoveSubscriber({3, 0}));
  EXPECT_FALSE(topic.HasSubscriber({2, 9}));
  EXPECT_EQ(topic.subscribers.size(), 5u);
}

TEST(TopicTableTest, IdsWrapSkippingZeroAndIdsInUse) {
  TopicTable table;
  bool created = false;
  table.SetNextIdForTesting(0xFFFFFFFEu);
  EXPECT_EQ(table.FindOrCreate(Parse("a"), &created)->id, 0xFFFFFFFEu);
  EXPECT_EQ(table.FindOrCreate(Parse("b"), &created)->id, 0xFFFFFFFFu);
  EXPECT_EQ(table.FindOrCreate(Parse("c"), &created)->id, 1u);
  table.SetNextIdForTesting(0xFFFFFFFEu);
  EXPECT_EQ(table.FindOrCreate(Parse("d"), &created)->id, 2u);
}

TEST(VantelTopicTest, NamesMatchWithoutCaseAndCountersStartAtOne) {
  VantelTopic::CIntervalCounter ticker(nullptr, "TICKER", 1000,
                                       VantelTopic::CIntervalCounter::Mode::kCount);
  EXPECT_TRUE(ticker.Matches("ticker"));
  EXPECT_FALSE(ticker.Matches("TICKERS"));
  RtdValue value;
  EXPECT_TRUE(ticker.Update(&value));
  EXPECT_EQ(value.Int32(), 1);
  EXPECT_FALSE(ticker.Update(&value));  // within the period
  VantelTopic::CDefault fallback(nullptr, "", "x");
  EXPECT_TRUE(fallback.Matches("anything"));
  EXPECT_EQ(fallback.value().Text(), "x");
  VantelTopic::CIntervalCounter timer(nullptr, "TIMER", 500,
                                      VantelTopic::CIntervalCounter::Mode::kTime);
  EXPECT_TRUE(timer.Update(&value));
  EXPECT_EQ(value.Type(), RtdValueType::kDateTime);
  EXPECT_GT(value.DateTime(), 1600000000);
}

}  // namespace
}  // namespace orvex
