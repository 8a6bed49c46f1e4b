// Topic routing and publisher selection with publishers and subscribers in their own
// processes: shared topics, addresses, the default publisher, standby take-over,
// foreign values, split texts and values, reused handles and the auto-start hook.
#include <gtest/gtest.h>

#include <atomic>

#include "tests/bus_fixture.h"

namespace orvex::test {
namespace {

class BusRoutingTest : public BusFixture, public ::testing::WithParamInterface<std::string> {
 protected:
  std::string Connect() { return "connect|" + GetParam(); }
};

TEST_P(BusRoutingTest, TwoSubscribersShareOneTopicAndOneRequest) {
  StartBus();
  const std::string s2done = EventName("s2"), closed = EventName("closed");
  auto* publisher = Spawn({Connect(), "register|ABC|pub|1|0", "expect|2|h=1",
                           "expect|7|t=ACME.LAST|save=T", "value|$T|int:42", "wait|" + s2done,
                           "quiet|300", "signal|" + closed, "expect|9|h=$T"});
  ASSERT_TRUE(WaitLine("Client connected :1 ABC; Publisher"));
  auto* first = Spawn({Connect(), "register|S1|s|0|1", "expect|2|h=1", "topic|5|ACME.LAST",
                       "expect|13|h=5|v=42", "wait|" + closed, "close|5"});
  ASSERT_TRUE(WaitLine("Client connected :2 S1; Subscriber"));
  // The second subscriber gets the stored value at once, and the publisher no request.
  auto* second =
      Spawn({Connect(), "register|S2|s|0|1", "expect|2|h=1", "sleep|300", "topic|9|ACME.LAST",
             "expect|13|h=9|v=42", "signal|" + s2done, "wait|" + closed, "close|9"});
  EXPECT_EQ(FinishChild(second), 0);
  EXPECT_EQ(FinishChild(first), 0);
  EXPECT_EQ(FinishChild(publisher), 0);
}

TEST_P(BusRoutingTest, AddressesAreNormalisedAndNameTheirOwnTopics) {
  StartBus();
  const std::string seen = EventName("seen");
  auto* publisher = Spawn({Connect(), "register|ABC|pub|1|0", "expect|2|h=1",
                           "expect|7|t=ACME.LAST|save=A", "expect|7|t=ACME.LAST|save=B",
                           "value|$A|int:1", "value|$B|int:2", "wait|" + seen, "quiet|200"});
  ASSERT_TRUE(WaitLine("Client connected :1 ABC; Publisher"));
  auto* monitor = Spawn({Connect(), "register|M|mon|0|1", "expect|2|h=1", "monitor|010000",
                         "expect|33|items=0,2", "signal|" + EventName("m"),
                         "expect|34|t=@ABC:ACME.LAST", "expect|34|t=ACME.LAST"});
  ASSERT_TRUE(WaitSignal(EventName("m")));
  auto* subscriber = Spawn(
      {Connect(), "register|S|s|0|1", "expect|2|h=1", "topic|1|@abc :ACME.LAST",
       "topic|2|@ABC:ACME.LAST", "topic|3|ACME.LAST", "expect|13|h=2", "expect|13|h=1|v=1",
       "expect|13|h=2|v=1", "expect|13|h=3|v=2", "signal|" + seen, "wait|" + EventName("end")});
  // The subscriber stays until the publisher has been quiet: its end closes its topics.
  EXPECT_EQ(FinishChild(publisher), 0);
  Signal(EventName("end"));
  EXPECT_EQ(FinishChild(subscriber), 0);
  EXPECT_EQ(FinishChild(monitor), 0);
}

TEST_P(BusRoutingTest, ChangingTheDefaultClosesAtTheOldAndRequestsAtTheNew) {
  StartBus();
  const std::string go = EventName("go");
  auto* a = Spawn({Connect(), "register|A|a|1|0", "expect|2|h=1", "expect|7|t=X|save=T",
                   "signal|" + EventName("a"), "expect|9|h=$T", "wait|" + EventName("end")});
  ASSERT_TRUE(WaitLine("Client connected :1 A; Publisher"));
  auto* b = Spawn({Connect(), "register|B|b|1|0", "expect|2|h=1", "wait|" + go, "expect|7|t=X",
                   "wait|" + EventName("end")});
  ASSERT_TRUE(WaitLine("Client connected :2 B; Publisher"));
  auto* subscriber = Spawn({Connect(), "register|S|s|0|1", "expect|2|h=1", "topic|1|@BUS:DEFPUB",
                            "expect|13|h=1|v=A", "topic|2|X", "wait|" + go, "default|  b ",
                            "expect|13|h=1|v=B", "default|B", "default|ZZZ", "quiet|300"});
  ASSERT_TRUE(WaitSignal(EventName("a")));
  Signal(go);
  // A and B stay until the subscriber is done: their end would change the default.
  EXPECT_EQ(FinishChild(subscriber), 0);
  Signal(EventName("end"));
  EXPECT_EQ(FinishChild(a), 0);
  EXPECT_EQ(FinishChild(b), 0);
  const std::vector<std::string> expected = {
      "RtdServer::SetDefaultPublisherSid(  b )", "\tSUCCESS",
      "RtdServer::SetDefaultPublisherSid(B)",    "\tFAILED - already default",
      "RtdServer::SetDefaultPublisherSid(ZZZ)",  "\tFAILED - sid not available?"};
  std::vector<std::string> got;
  for (const auto& line : Lines()) {
    if (line.rfind("RtdServer::", 0) == 0 || line[0] == '\t') got.push_back(line);
  }
  EXPECT_EQ(got, expected);
}

TEST_P(BusRoutingTest, AStandbyTakesOverTheTopicsOfItsPrimary) {
  StartBus();
  const std::string p1go = EventName("p1go");
  auto* primary = Spawn({Connect(), "register|ABC|p1|1|0", "expect|2|h=1", "expect|7|t=ACME|save=T",
                         "value|$T|int:5", "wait|" + p1go, "disconnect|bye", "expect|3|t=bye"});
  ASSERT_TRUE(WaitLine("Client connected :1 ABC; Publisher"));
  auto* standby = Spawn({Connect(), "register|ABC|p2|1|0", "expect|2|h=1",
                         "signal|" + EventName("p2"), "expect|7|t=ACME|h=1", "value|1|int:6"});
  auto* subscriber = Spawn({Connect(), "register|S|s|0|1", "expect|2|h=1", "topic|1|ACME",
                            "expect|13|h=1|v=5", "signal|" + EventName("s"), "expect|13|h=1|v=6"});
  ASSERT_TRUE(WaitSignal(EventName("p2")));
  ASSERT_TRUE(WaitSignal(EventName("s")));
  Signal(p1go);
  EXPECT_EQ(FinishChild(primary), 0);
  EXPECT_EQ(FinishChild(standby), 0);
  EXPECT_EQ(FinishChild(subscriber), 0);
}

TEST_P(BusRoutingTest, ValuesFromOtherThanTheTopicsPublisherAreDropped) {
  StartBus();
  auto* owner = Spawn({Connect(), "register|ABC|p|1|0", "expect|2|h=1", "expect|7|t=T|save=T",
                       "wait|" + EventName("foreign"), "value|$T|int:7"});
  ASSERT_TRUE(WaitLine("Client connected :1 ABC; Publisher"));
  auto* other = Spawn({Connect(), "register|XYZ|q|1|1", "expect|2|h=1", "wait|" + EventName("t"),
                       "value|1|int:666", "texta|1|forged", "signal|" + EventName("foreign")});
  ASSERT_TRUE(WaitLine("Client connected :2 XYZ; Publisher; Subscriber"));
  auto* subscriber = Spawn({Connect(), "register|S|s|0|1", "expect|2|h=1", "topic|1|@ABC:T",
                            "signal|" + EventName("t"), "expect|13|h=1|v=7", "quiet|500"});
  EXPECT_EQ(FinishChild(subscriber), 0);
  EXPECT_EQ(FinishChild(owner), 0);
  EXPECT_EQ(FinishChild(other), 0);
}

TEST_P(BusRoutingTest, AReusedHandleClosesItsOldUseAndARepeatResubscribes) {
  StartBus();
  auto* publisher = Spawn({Connect(), "register|ABC|p|1|0", "expect|2|h=1", "expect|7|t=X|save=X",
                           "expect|9|h=$X", "expect|7|t=Y|save=Y", "expect|9|h=$Y",
                           "expect|7|t=Y|h=3", "value|3|int:9"});
  ASSERT_TRUE(WaitLine("Client connected :1 ABC; Publisher"));
  auto* subscriber =
      Spawn({Connect(), "register|S|s|0|1", "expect|2|h=1", "topic|1|X", "topic|1|Y", "topic|1|Y",
             "expect|13|h=1|v=9", "monitor|000000", "expect|33|items=1,2"});
  EXPECT_EQ(FinishChild(subscriber), 0);
  EXPECT_EQ(FinishChild(publisher), 0);
}

TEST_P(BusRoutingTest, TheFirstOrdinaryTopicWithoutPublishersStartsTheAutoStartOnce) {
  std::atomic<int> launches{0};
  RtdServer::Options options;
  options.auto_start = [&launches] {
    ++launches;
    return true;
  };
  StartBus(options);
  auto* subscriber =
      Spawn({Connect(), "register|S|s|0|1", "expect|2|h=1", "topic|1|@BUS:TICKER", "expect|13|h=1",
             "topic|2|A", "topic|3|B", "monitor|000000", "expect|33|items=3,1",
             "signal|" + EventName("s"), "wait|" + EventName("p"), "closeall", "topic|4|C",
             "monitor|000000", "await|33|items=1,2"});
  ASSERT_TRUE(WaitSignal(EventName("s")));
  EXPECT_EQ(launches.load(), 1);
  auto* publisher = Spawn(
      {Connect(), "register|P|p|1|0", "expect|2|h=1", "signal|" + EventName("p"), "sleep|300"});
  // With a publisher registered, a new ordinary topic launches nothing.
  EXPECT_EQ(FinishChild(subscriber), 0);
  EXPECT_EQ(FinishChild(publisher), 0);
  EXPECT_EQ(launches.load(), 1);
}

TEST_P(BusRoutingTest, ADepartingPublisherClosesTheTopicsItSubscribed) {
  StartBus();
  const std::string asked = EventName("asked");
  auto* owner = Spawn({Connect(), "register|ABC|p|1|0", "expect|2|h=1", "expect|7|t=T|save=T",
                       "signal|" + asked, "expect|9|h=$T", "disconnect|bye", "await|3|t=bye"});
  ASSERT_TRUE(WaitLine("Client connected :1 ABC; Publisher"));
  // A publisher that is not a subscriber asks for a topic, then leaves: its pair must
  // not keep the topic alive (nor pass to the next client given its id).
  auto* leaver = Spawn({Connect(), "register|XYZ|q|1|0", "expect|2|h=1", "topic|5|@ABC:T",
                        "wait|" + asked, "disconnect|bye", "await|3|t=bye"});
  EXPECT_EQ(FinishChild(leaver), 0);
  EXPECT_EQ(FinishChild(owner), 0);
  auto* monitor = Spawn(
      {Connect(), "register|M|m|0|1", "expect|2|h=1", "monitor|000000", "expect|33|items=0,1"});
  EXPECT_EQ(FinishChild(monitor), 0);
}

TEST_P(BusRoutingTest, PublishersWhoseSidsNormaliseAlikeKeepTheirTopicsRouted) {
  StartBus();
  const std::string asked = EventName("asked"), leave = EventName("leave"),
                    got1 = EventName("got1"), next = EventName("next");
  // Registered exactly as " abc": listed as ABC, but never routed to.
  auto* stray = Spawn({Connect(), "rawregister| abc|stray|1|0", "expect|2|h=1", "wait|" + leave,
                       "disconnect|bye", "await|3|t=bye"});
  ASSERT_TRUE(WaitLine("Client connected :1  abc; Publisher"));
  EXPECT_TRUE(
      WaitLine("Publisher SID \" abc\" is not upper case without surrounding spaces: "
               "no topic will be routed to it"));
  auto* subscriber =
      Spawn({Connect(), "register|S|s|0|1", "expect|2|h=1", "topic|1|X", "monitor|000000",
             "expect|33|items=1,2", "signal|" + asked, "expect|13|h=1|v=1", "signal|" + got1,
             "expect|13|h=1|v=2", "wait|" + EventName("end")});
  ASSERT_TRUE(WaitSignal(asked));
  // The library registers "abc" as ABC; the waiting topic goes to it although the list
  // already held ABC, and keeps going to it when the namesake leaves.
  auto* publisher = Spawn({Connect(), "register|abc|p|1|0", "expect|2|h=1", "expect|7|t=X|save=T",
                           "value|$T|int:1", "wait|" + next, "value|$T|int:2", "quiet|300"});
  ASSERT_TRUE(WaitLine("Client connected :3 ABC; Publisher"));
  ASSERT_TRUE(WaitSignal(got1));
  Signal(leave);
  EXPECT_EQ(FinishChild(stray), 0);
  ASSERT_TRUE(WaitLine("Client disconnected :1"));
  Signal(next);
  // The subscriber stays until the publisher has been quiet: its end closes its topics.
  EXPECT_EQ(FinishChild(publisher), 0);
  Signal(EventName("end"));
  EXPECT_EQ(FinishChild(subscriber), 0);
}

TEST_P(BusRoutingTest, LeftOverPartsDoNotPoisonTheNextTextOrValue) {
  StartBus();
  // Topic texts: parts cut short by a whole request, then parts under two handles.
  auto* publisher = Spawn({Connect(), "register|ABC|p|1|0", "expect|2|h=1", "expect|7|t=Z|save=Z",
                           "expect|7|t=W|save=W", "rawpart|50|$Z|left", "rawpart|51|$W|fresh",
                           "rawpart|50|$Z|stale", "value|$Z|int:5", "rawpart|51|$Z|new"});
  ASSERT_TRUE(WaitLine("Client connected :1 ABC; Publisher"));
  auto* subscriber = Spawn({Connect(), "register|S|s|0|1", "expect|2|h=1", "rawpart|48|7|junk",
                            "topic|8|Z", "rawpart|48|9|Q", "rawpart|49|10|W",
                            "expect|13|h=10|v=fresh", "expect|13|h=8|v=5", "expect|13|h=8|v=new"});
  EXPECT_EQ(FinishChild(subscriber), 0);
  EXPECT_EQ(FinishChild(publisher), 0);
}

INSTANTIATE_TEST_SUITE_P(BothLinks, BusRoutingTest, ::testing::Values("classic", "v2"), KindName);

// Long topic texts and values between every pairing of link kinds.
class BusSplitTest : public BusFixture,
                     public ::testing::WithParamInterface<std::tuple<std::string, std::string>> {};

TEST_P(BusSplitTest, LongTextsAndValuesArriveWhole) {
  StartBus();
  const auto& [pub_kind, sub_kind] = GetParam();
  const bool pub_classic = pub_kind == "classic";
  const bool sub_classic = sub_kind == "classic";
  // 250 characters: 113 + 113 + 24 on a classic link.
  const std::string topic_parts = pub_classic ? "3" : "1";
  const std::string value_parts = sub_classic ? "3" : "1";
  // Texts A/B are cut to 113 characters wherever a classic link carries them.
  const std::string text_a = (pub_classic || sub_classic) ? "~113" : "~200";
  auto* publisher = Spawn({"connect|" + pub_kind, "register|ABC|p|1|0", "expect|2|h=1",
                           "expect|7|t=~250|parts=" + topic_parts + "|save=T", "value|$T|text:~300",
                           "texta|$T|~200"});
  ASSERT_TRUE(WaitLine("Client connected :1 ABC; Publisher"));
  auto* subscriber =
      Spawn({"connect|" + sub_kind, "register|S|s|0|1", "expect|2|h=1", "topic|77|~250",
             "expect|13|h=77|vt=5|v=~300|parts=" + value_parts, "expect|14|h=77|t=" + text_a});
  EXPECT_EQ(FinishChild(subscriber), 0);
  EXPECT_EQ(FinishChild(publisher), 0);
  // A value joined from classic parts is logged whole.
  EXPECT_EQ(HasLine("Composed Value:\n" + GeneratedText(300)), pub_classic);
}

INSTANTIATE_TEST_SUITE_P(LinkPairs, BusSplitTest,
                         ::testing::Combine(::testing::Values("classic", "v2"),
                                            ::testing::Values("classic", "v2")),
                         [](const auto& info) {
                           return std::get<0>(info.param) + "_to_" + std::get<1>(info.param);
                         });

}  // namespace
}  // namespace orvex::test
