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
