// Limits on what one client may ask of the bus: overlong topic texts and too many
// topics or too much topic text per client are refused, and the bus goes on serving.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "client/bus_client.h"
#include "protocol/message_codes.h"
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
                            "monitor|000000", "expect|33|items=2,2", "wait|" + EventName("end")});
  // The subscriber stays until the publisher has been quiet: its end closes its topics.
  EXPECT_EQ(FinishChild(publisher), 0);
  Signal(EventName("end"));
  EXPECT_EQ(FinishChild(subscriber), 0);
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

using BusLimitsClassicTest = BusFixture;

// Classic parts past the topic-text limit are not kept, and the request they make is
// refused; a part under another handle still starts a new request afresh.
TEST_F(BusLimitsClassicTest, PartsPastTheLimitAreRefusedAndAnotherHandleStartsAfresh) {
  RtdServer::Options options;
  options.max_topic_text_bytes = 200;
  StartBus(options);
  auto* publisher =
      Spawn({"connect|classic", "register|A|a|1|0", "expect|2|h=1", "signal|" + EventName("a"),
             "expect|7|h=1|t=" + GeneratedText(100) + "xyz", "expect|7|h=2|t=abcdef", "quiet|300"});
  ASSERT_TRUE(WaitSignal(EventName("a")));
  const std::string part = "rawpart|48|1|~100";
  auto* subscriber =
      Spawn({"connect|classic", "register|S|s|0|1", "expect|2|h=1", part, part, "rawpart|49|1|~1",
             part, "rawpart|49|1|xyz", part, part, part, "rawpart|48|2|abc", "rawpart|49|2|def",
             "monitor|000000", "expect|33|items=2,2", "wait|" + EventName("quiet")});
  // The subscriber stays until the publisher has been quiet: its end closes its topics.
  EXPECT_EQ(FinishChild(publisher), 0);
  Signal(EventName("quiet"));
  EXPECT_EQ(FinishChild(subscriber), 0);
}

// A bus whose server thread, on a client's MSG_TEXT_A, freezes in an endless send to
// that client, holding the link's lock most of the time, as a huge split did.
class FreezingServer : public RtdServer {
 public:
  explicit FreezingServer(const Options& options) : RtdServer(options, NotReadyYet{}) {
    SetReady(true);
  }
  ~FreezingServer() override { Shutdown(true, 500); }
  std::atomic<bool> frozen{false};

 protected:
  void ProcessMessage(const BusMessage& m) override {
    if (m.code != MSG_TEXT_A && m.code != MSG_TEXT_A_V2) return RtdServer::ProcessMessage(m);
    RtdConnection* link = FindConnection(m.id);
    std::atomic<uint64_t> work{0};
    for (;;) {
      const bool held = !link->Begin(m.code, 16).empty();
      frozen = true;
      for (int i = 0; i < 20000; ++i) work.fetch_add(1, std::memory_order_relaxed);
      if (held) link->Cancel();
      for (int i = 0; i < 2000; ++i) work.fetch_add(1, std::memory_order_relaxed);
    }
  }
};

// The server thread never returns, so the shutdown stops it by force, most likely while
// it holds the link's lock; closing the link must not then wait for ever.
TEST_P(BusLimitsTest, ShutdownFinishesAfterTheServerThreadIsStoppedByForce) {
  if (kThreadSanitizer) GTEST_SKIP() << "stops a thread by force on purpose";
  RtdServer::Options options;
  options.base_name = base_;
  options.shutdown_grace_ms = 50;
  auto* server = new FreezingServer(options);  // leaked if its shutdown hangs
  const std::string release = EventName("release");
  auto* client =
      Spawn({Connect(), "register|S|s|0|1", "expect|2|h=1", "texta|1|freeze", "wait|" + release});
  ASSERT_TRUE(WaitUntil([&] { return server->frozen.load(); }, 20000));
  auto* done = new std::atomic<bool>(false);
  std::thread closer([server, done] {
    delete server;
    *done = true;
  });
  // About 0.5 s for the thread to end, then the forced stop (at most 1 s) and the close.
  const bool finished = WaitUntil([&] { return done->load(); }, 15000);
  if (finished) {
    closer.join();
    delete done;
  } else {
    closer.detach();
  }
  Signal(release);
  FinishChild(client, 10000);
  EXPECT_TRUE(finished) << "the shutdown waits for a lock the stopped thread held";
}

// A bus derived for a test, built while a client is already there: nothing reaches its
// overrides before its constructor says it is ready, and what came meanwhile is handled
// as soon as it does.
class LateReadyServer : public RtdServer {
 public:
  LateReadyServer(const Options& options, const std::function<void()>& meanwhile)
      : RtdServer(options, NotReadyYet{}) {
    meanwhile();
    handled_before_ready = handled.load();
    SetReady(true);
  }
  ~LateReadyServer() override { Shutdown(true, 3000); }
  std::atomic<int> handled{0};
  int handled_before_ready = -1;

 protected:
  void ProcessMessage(const BusMessage& m) override {
    ++handled;
    RtdServer::ProcessMessage(m);
  }
};

TEST_P(BusLimitsTest, ADerivedBusHandlesNothingUntilItIsBuilt) {
  RtdServer::Options options;
  options.base_name = base_;
  options.shutdown_grace_ms = 50;
  client::BusClient client;
  LateReadyServer* server = nullptr;
  LateReadyServer bus(options, [&] {
    server = &bus;
    ASSERT_TRUE(client.Connect(
        base_, GetParam() == "v2" ? client::LinkKind::kV2 : client::LinkKind::kClassic));
    ASSERT_TRUE(client.Register("S", "early", false, true));
    // Several passes of the loop after the message was sent: it had every chance.
    ASSERT_TRUE(WaitUntil([&] { return server->connection_count() == 1; }, 20000));
    const uint64_t passes = server->pass_count();
    server->Wake();
    ASSERT_TRUE(WaitUntil(
        [&] {
          server->Wake();
          return server->pass_count() >= passes + 3;
        },
        20000));
  });
  EXPECT_EQ(bus.handled_before_ready, 0);
  client::BusReceived reply;
  EXPECT_TRUE(client.ReceiveCode(MSG_REGISTER_REPLY, &reply, 20000));
  EXPECT_GE(bus.handled.load(), 1);
}

INSTANTIATE_TEST_SUITE_P(BothLinks, BusLimitsTest, ::testing::Values("classic", "v2"), KindName);

}  // namespace
}  // namespace orvex::test
