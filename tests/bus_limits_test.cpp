// Limits on what one client may ask of the bus: overlong topic texts and too many
// topics or too much topic text per client are refused, and the bus goes on serving.
#include <gtest/gtest.h>

#include "tests/bus_fixture.h"

namespace orvex::test {
namespace {

class BusLimitsTest : public BusFixture, public ::testing::WithParamInterface<std::string> {
 protected:
  std::string Connect() { return "connect|" + GetParam(); }
  size_t RefusalLines() {
    size_t n = 0;
    for (const std::string& line : Lines()) n += line.rfind("Topic refused for client", 0) == 0;
    return n;
  }
};

// The default limit: a topic text of 64 KiB goes through, one byte more is refused, and
// the publisher is never asked for it. Two refusals of one kind make one log line.
TEST_P(BusLimitsTest, TopicTextsBeyond64KiBAreNotRouted) {
  StartBus();
  // Unaddressed: they go to the default publisher, A.
  const std::string longest = "~" + std::to_string(64 * 1024);
  const std::string too_long = "~" + std::to_string(64 * 1024 + 1);
  auto* publisher =
      Spawn({Connect(), "register|A|a|1|0", "expect|2|h=1", "signal|" + EventName("a"),
             "expect|7|h=1|t=" + longest, "expect|7|h=2|t=after", "quiet|300"});
  ASSERT_TRUE(WaitSignal(EventName("a")));
  auto* subscriber = Spawn({Connect(), "register|S|s|0|1", "expect|2|h=1", "topic|1|" + too_long,
                            "topic|2|" + longest, "topic|3|~200000", "topic|4|after",
                            "monitor|000000", "expect|33|items=2,2"});
  EXPECT_EQ(FinishChild(subscriber), 0);
  EXPECT_EQ(FinishChild(publisher), 0);
  EXPECT_EQ(RefusalLines(), 1u);
}

// Per-client limits of 3 topics and 100 bytes of topic text: a closed topic makes room
// again, a handle used again replaces its topic, and every client has its own budget.
TEST_P(BusLimitsTest, TopicsAndTopicTextArePerClient) {
  RtdServer::Options options;
  options.max_topics_per_client = 3;
  options.max_topic_text_bytes_per_client = 100;
  StartBus(options);
  auto* counted =
      Spawn({Connect(), "register|S|s|0|1", "expect|2|h=1", "topic|1|a", "topic|2|b", "topic|3|c",
             "topic|4|d", "monitor|000000", "expect|33|items=3,1", "topic|3|e", "close|1",
             "topic|4|d", "topic|5|f", "monitor|000000", "expect|33|items=3,1",
             "signal|" + EventName("c"), "wait|" + EventName("d")});
  ASSERT_TRUE(WaitSignal(EventName("c")));
  // Its own three topics fit: the first client's count does not hold this one back.
  auto* bytes = Spawn({Connect(), "register|T|t|0|1", "expect|2|h=1", "topic|1|~60", "topic|2|~41",
                       "monitor|000000", "expect|33|items=4,2", "topic|2|~40", "topic|1|~59",
                       "monitor|000000", "expect|33|items=5,2", "close|2", "topic|3|~41",
                       "monitor|000000", "expect|33|items=5,2"});
  EXPECT_EQ(FinishChild(bytes), 0);
  Signal(EventName("d"));
  EXPECT_EQ(FinishChild(counted), 0);
  EXPECT_EQ(RefusalLines(), 2u);
}

INSTANTIATE_TEST_SUITE_P(BothLinks, BusLimitsTest, ::testing::Values("classic", "v2"), KindName);

}  // namespace
}  // namespace orvex::test
