// The bus's own topics and refresh forwarding, with clients in their own processes.
#include <gtest/gtest.h>

#include "bus/bus_topic_table.h"
#include "tests/bus_fixture.h"

namespace orvex::test {
namespace {

class BusTopicsTest : public BusFixture, public ::testing::WithParamInterface<std::string> {
 protected:
  std::string Connect() { return "connect|" + GetParam(); }
};

TEST_P(BusTopicsTest, TheTickerCountsAndIgnoresTheCaseOfItsAddress) {
  StartBus();
  auto* subscriber = Spawn({Connect(), "register|S|s|0|1", "expect|2|h=1", "topic|1|@BUS:TICKER",
                            "expect|13|h=1|vt=1|v=1", "expect|13|h=1|v=2", "topic|2|@bus:ticker",
                            "expect|13|h=2|v=2", "expect|13|h=1|v=3", "expect|13|h=2|v=3",
                            // Two topic texts, one counter feeding both.
                            "monitor|000000", "expect|33|items=2,1"});
  EXPECT_EQ(FinishChild(subscriber), 0);
}

TEST_P(BusTopicsTest, UnknownNamesTimeAndTheListsOfPublishers) {
  StartBus();
  auto* subscriber = Spawn({Connect(), "register|S|s|0|1", "expect|2|h=1", "topic|1|@BUS:NEWS",
                            std::string("expect|13|h=1|vt=5|v=") + BusTopicTable::kDefaultText,
                            "topic|2|@BUS:TIMER", "expect|13|h=2|vt=9", "expect|13|h=2|vt=9",
                            "topic|3|@BUS:PUBLIST", "until|13|h=3|v=", "topic|4|@BUS:DEFPUB",
                            "until|13|h=4|v=", "signal|" + EventName("s"), "until|13|h=3|v=XYZ",
                            "until|13|h=3|v=ABC,XYZ", "until|13|h=4|v=XYZ", "closeall",
                            "monitor|000000", "until|33|items=0,3"});
  ASSERT_TRUE(WaitSignal(EventName("s")));
  auto* xyz = Spawn({Connect(), "register|XYZ|p|1|0", "expect|2|h=1", "wait|" + EventName("x")});
  ASSERT_TRUE(WaitLine("Client connected :2 XYZ; Publisher"));
  auto* abc = Spawn({Connect(), "register|ABC|p|1|0", "expect|2|h=1", "wait|" + EventName("x")});
  EXPECT_EQ(FinishChild(subscriber), 0);
  Signal(EventName("x"));
  EXPECT_EQ(FinishChild(xyz), 0);
  EXPECT_EQ(FinishChild(abc), 0);
  // Bus topics never start the auto-start publisher and need no publisher.
}

// Publisher A serves @A:t1, @A:t2, @A:t4, B serves @B:t3 (topic ids 1 to 4).
TEST_P(BusTopicsTest, RefreshRunsKeepRequestOrderPerPublisher) {
  StartBus();
  const std::string go = EventName("go");
  auto* a =
      Spawn({Connect(), "register|A|a|1|0", "expect|2|h=1", "signal|" + EventName("a"),
             "expect|7|t=t1|h=1", "expect|7|t=t2|h=2", "expect|7|t=t4|h=4", "expect|8|items=1,2",
             "expect|8|items=4", "expect|8|items=", "wait|" + EventName("end")});
  ASSERT_TRUE(WaitSignal(EventName("a")));
  auto* b = Spawn({Connect(), "register|B|b|1|0", "expect|2|h=1", "signal|" + EventName("b"),
                   "expect|7|t=t3|h=3", "expect|8|items=3", "expect|8|items="});
  ASSERT_TRUE(WaitSignal(EventName("b")));
  // A standby of A serves nothing and is not asked to refresh everything.
  auto* standby = Spawn(
      {Connect(), "register|A|a2|1|0", "expect|2|h=1", "signal|" + EventName("c"), "quiet|1500"});
  ASSERT_TRUE(WaitSignal(EventName("c")));
  auto* subscriber =
      Spawn({Connect(), "register|S|s|0|1", "expect|2|h=1", "topic|11|@A:t1", "topic|12|@A:t2",
             "topic|13|@B:t3", "topic|14|@A:t4", "refresh|11,12,99,13,14", "refresh|"});
  EXPECT_EQ(FinishChild(subscriber), 0);
  // A stays until its standby has been quiet: its end would hand the topics over.
  EXPECT_EQ(FinishChild(standby), 0);
  Signal(EventName("end"));
  EXPECT_EQ(FinishChild(a), 0);
  EXPECT_EQ(FinishChild(b), 0);
}

// A run of more than 29 items for one publisher goes out in full batches of 29.
TEST_P(BusTopicsTest, LongRunsAreSentInBatchesOf29) {
  StartBus();
  const size_t count = GetParam() == "v2" ? 31 : 29;  // a classic request holds 29
  std::vector<std::string> pub{Connect(), "register|A|a|1|0", "expect|2|h=1",
                               "signal|" + EventName("a")};
  std::vector<std::string> sub{Connect(), "register|S|s|0|1", "expect|2|h=1"};
  std::string handles, first_batch, rest;
  for (size_t i = 1; i <= count; ++i) {
    pub.push_back("expect|7|h=" + std::to_string(i));
    sub.push_back("topic|" + std::to_string(100 + i) + "|@A:t" + std::to_string(i));
    handles += (i > 1 ? "," : "") + std::to_string(100 + i);
    std::string& batch = i <= 29 ? first_batch : rest;
    batch += (batch.empty() ? "" : ",") + std::to_string(i);
  }
  pub.push_back("expect|8|items=" + first_batch);
  if (!rest.empty()) pub.push_back("expect|8|items=" + rest);
  sub.push_back("refresh|" + handles);
  auto* a = Spawn(pub);
  ASSERT_TRUE(WaitSignal(EventName("a")));
  auto* s = Spawn(sub);
  EXPECT_EQ(FinishChild(s), 0);
  EXPECT_EQ(FinishChild(a), 0);
}

INSTANTIATE_TEST_SUITE_P(BothLinks, BusTopicsTest, ::testing::Values("classic", "v2"), KindName);

}  // namespace
}  // namespace orvex::test
