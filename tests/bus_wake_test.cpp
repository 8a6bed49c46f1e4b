// Wake-ups instead of polls: an idle bus with quiet clients of every link kind sleeps
// in the kernel, while V2 clients that never took the optional wake-ups still connect
// and exchange values (the bus polls their links).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "client/bus_client.h"
#include "client/client_session.h"
#include "platform/clock.h"
#include "protocol/message_codes.h"
#include "tests/bus_fixture.h"
#include "tests/support/wait_until.h"
#include "transport/sf_shared_memory.h"
#include "transport/smf_acceptor_v2.h"
#include "transport/smf_segments.h"

namespace orvex::test {
namespace {

// Passes of the bus loop in `ms` of quiet.
uint64_t PassesOver(const RtdServer& server, uint32_t ms) {
  const uint64_t before = server.pass_count();
  platform::SleepMs(ms);
  return server.pass_count() - before;
}

TEST_F(BusFixture, AnIdleBusSleepsUntilItsNextHeartbeat) {
  StartBus();
  const std::string done = EventName("done");
  auto* classic = Spawn({"connect|classic", "register|A|a|0|1", "expect|2|h=1", "wait|" + done});
  ASSERT_TRUE(WaitLine("Client connected :1 A; Subscriber"));
  auto* v2 = Spawn({"connect|v2", "register|B|b|0|1", "expect|2|h=1", "wait|" + done});
  ASSERT_TRUE(WaitLine("Client connected :2 B; Subscriber"));
  platform::SleepMs(200);
  // Polling every 10 ms would make about 150 passes; heartbeats need at most one.
  const uint64_t quiet = PassesOver(*server_, 1500);
  std::printf("[ figure ] %llu passes of the idle bus loop in 1.5 s\n",
              static_cast<unsigned long long>(quiet));
  EXPECT_LE(quiet, 10u);

  // A client without the wake-ups makes the bus poll its link again.
  auto* polled = Spawn({"connect|v2-polled", "register|C|c|0|1", "expect|2|h=1", "wait|" + done});
  ASSERT_TRUE(WaitLine("Client connected :3 C; Subscriber"));
  EXPECT_GT(PassesOver(*server_, 1500), 30u);
  Signal(done);
  EXPECT_EQ(FinishChild(polled), 0);
  EXPECT_EQ(FinishChild(v2), 0);
  EXPECT_EQ(FinishChild(classic), 0);
}

// A hostile client must not make the bus spin by setting its wake-up in a loop (the
// link's wake-ups are muted when they bring nothing), nor make it sleep through another
// link's values by clearing the bus's "waiting" word on it (the bus looks again within
// a second, sees the word cleared and polls that link from then on).
TEST_F(BusFixture, AClientCannotMakeTheBusSpinNorSleepThroughValues) {
  StartBus();
  const std::string ready = EventName("ready"), done = EventName("done");
  auto* spinner = Spawn({"connect|v2", "register|W|w|0|1", "expect|2|h=1", "signal|" + ready,
                         "wakebus|1500", "wait|" + done});
  ASSERT_TRUE(WaitSignal(ready));
  platform::SleepMs(100);
  const uint64_t cpu = ProcessCpuMs();
  const uint64_t passes = PassesOver(*server_, 1000);
  std::printf(
      "[ figure ] a client setting its wake-up in a loop: %llu passes, %llu ms of CPU "
      "in 1 s\n",
      static_cast<unsigned long long>(passes),
      static_cast<unsigned long long>(ProcessCpuMs() - cpu));
  EXPECT_LT(passes, 1000u);
  EXPECT_GE(server_->idle_wakes(), RtdServer::kIdleWakesToMute);

  const std::string pub_ready = EventName("pub"), sub_ready = EventName("sub"),
                    go = EventName("go"), got = EventName("got");
  auto* publisher =
      Spawn({"connect|v2", "register|P|p|1|0", "expect|2|h=1", "signal|" + pub_ready,
             "await|7|t=A|save=T", "wait|" + go, "spoilpublish|$T|42|1500", "wait|" + done});
  ASSERT_TRUE(WaitSignal(pub_ready));
  auto* subscriber = Spawn({"connect|v2", "register|S|s|0|1", "expect|2|h=1", "topic|1|A",
                            "signal|" + sub_ready, "await|13|h=1|v=42", "signal|" + got});
  ASSERT_TRUE(WaitSignal(sub_ready));
  platform::SleepMs(300);
  Signal(go);
  const uint32_t start = platform::TickCount();
  EXPECT_TRUE(WaitSignal(got));
  std::printf(
      "[ figure ] a value published while a peer cleared the bus's waiting word "
      "arrived within %u ms (1500 ms of clearing, published half-way)\n",
      platform::TickCount() - start);
  EXPECT_TRUE(
      HasLine("Client 2: another process cleared the bus's wait announcement on its "
              "link; the link is polled"));
  Signal(done);
  EXPECT_EQ(FinishChild(subscriber), 0);
  EXPECT_EQ(FinishChild(publisher), 0);
  EXPECT_EQ(FinishChild(spinner), 0);
}

// A peer that zeroes the V2 acceptor's slot count turns new V2 clients away until the
// bus repairs the header, which it does within a second even while idle: a client
// with a time-out of 2.5 s gets in (the next heartbeat is further away than that).
TEST_F(BusFixture, AScribbledAcceptorTakesClientsAgainWithinASecond) {
  StartBus();
  ASSERT_TRUE(WaitUntil([&] { return server_->pass_count() > 0; }));
  platform::SleepMs(300);
  SfSharedMemory header;
  ASSERT_TRUE(header.OpenOrCreate(false, base_ + ".V2", smf_acceptor::kDefaultSize));
  shm::Store(header.view(), smf_acceptor::kSlotCount, 0);
  client::BusClient bus;
  const uint32_t start = platform::TickCount();
  EXPECT_TRUE(bus.Connect(base_, client::LinkKind::kV2, 2500));
  std::printf("[ figure ] a V2 client got in %u ms after the slot count was zeroed\n",
              platform::TickCount() - start);
  EXPECT_NE(shm::Load(header.view(), smf_acceptor::kSlotCount), 0u);
}

class IdleClientTest : public BusFixture, public ::testing::WithParamInterface<client::LinkKind> {};

TEST_P(IdleClientTest, AnIdleClientSleepsUntilTheBusSpeaks) {
  StartBus();
  client::BusClient bus;
  ASSERT_TRUE(bus.Connect(base_, GetParam(), 10000));
  ASSERT_TRUE(bus.RegisterAndWait("", "idle", false, true, nullptr, 10000));
  client::BusReceived got;
  const uint64_t before = bus.receive_waits();
  const uint32_t start = platform::TickCount();
  EXPECT_FALSE(bus.Receive(&got, 1500));
  EXPECT_GE(platform::TickCount() - start, 1400u);
  // Looking every 100 ms would make 15 waits; a heartbeat of the bus at most one more.
  const uint64_t waits = bus.receive_waits() - before;
  std::printf("[ figure ] %llu waits of an idle client's receive in 1.5 s\n",
              static_cast<unsigned long long>(waits));
  EXPECT_LE(waits, 2u);
  EXPECT_EQ(bus.bus_loss(), client::BusLoss::kNone);

  // Asleep with nothing due for seconds, it still wakes at once for the bus's goodbye.
  std::thread stopper([&] {
    platform::SleepMs(300);
    server_->Shutdown(true, 3000);
  });
  const uint32_t waiting = platform::TickCount();
  const bool goodbye = bus.ReceiveCode(MSG_DISCONNECT, &got, 10000);
  const uint32_t took = platform::TickCount() - waiting;
  stopper.join();
  EXPECT_TRUE(goodbye);
  EXPECT_LT(took, 3000u);
  EXPECT_TRUE(bus.closed_by_bus());
}

// The library's session thread also sends keep-alives and must answer Stop; it sleeps
// between keep-alives all the same, and a close does not wait for its sleep to end.
TEST_P(IdleClientTest, AnIdleSessionWakesOnlyForKeepAlivesAndClosesAtOnce) {
  // The session speaks every 2 s and sleeps until then. The margins below are shares of
  // that interval, not of a machine's speed: a loaded machine stays far inside them.
  constexpr uint32_t kKeepAliveMs = 2000;
  StartBus();
  client::ClientSession session;
  ASSERT_EQ(session.Connect(base_, GetParam(), 10000), client::kSessionOk);
  ASSERT_EQ(session.Register("", "idle", false, true, 10000), client::kSessionOk);
  const uint64_t before = session.receive_waits();
  platform::SleepMs(3 * kKeepAliveMs / 2);
  // About one wake a keep-alive, a few more for the bus's heartbeats; waking every 50 ms
  // would make 60.
  const uint64_t waits = session.receive_waits() - before;
  std::printf("[ figure ] %llu waits of an idle session in 3 s\n",
              static_cast<unsigned long long>(waits));
  EXPECT_LE(waits, 10u);

  // Closes the session the moment its thread starts a new sleep (after a keep-alive, up
  // to a whole interval long): a close that waited for the sleep to end would take most
  // of the interval; one that interrupts it, a small part of it however loaded.
  auto close_when_asleep = [&](client::ClientSession* target, auto close) {
    const uint64_t seen = target->receive_waits();
    ASSERT_TRUE(
        test::WaitUntil([&] { return target->receive_waits() != seen; }, 3 * kKeepAliveMs, 2))
        << "the session thread never woke for its keep-alive";
    const uint32_t closing = platform::TickCount();
    close();
    const uint32_t took = platform::TickCount() - closing;
    std::printf("[ figure ] a sleeping session closed in %u ms\n", took);
    EXPECT_LT(took, 3 * kKeepAliveMs / 4) << "the close waited for the session's sleep";
  };
  close_when_asleep(&session, [&] { EXPECT_EQ(session.Close("done", 5000), client::kSessionOk); });
  // Without a goodbye (the session is destroyed), only the stop wakes the thread.
  auto quiet = std::make_unique<client::ClientSession>();
  ASSERT_EQ(quiet->Connect(base_, GetParam(), 10000), client::kSessionOk);
  ASSERT_EQ(quiet->Register("", "quiet", false, true, 10000), client::kSessionOk);
  close_when_asleep(quiet.get(), [&] { quiet.reset(); });
}

INSTANTIATE_TEST_SUITE_P(Kinds, IdleClientTest,
                         ::testing::Values(client::LinkKind::kClassic, client::LinkKind::kV2),
                         [](const ::testing::TestParamInfo<client::LinkKind>& info) {
                           return std::string(info.param == client::LinkKind::kV2 ? "V2"
                                                                                  : "Classic");
                         });

struct KindPair {
  const char* publisher;
  const char* subscriber;
};

class BusPolledV2Test : public BusFixture, public ::testing::WithParamInterface<KindPair> {};

TEST_P(BusPolledV2Test, ClientsWithoutWakeUpsStillExchangeValues) {
  StartBus();
  const std::string pub = std::string("connect|") + GetParam().publisher;
  const std::string sub = std::string("connect|") + GetParam().subscriber;
  auto* publisher =
      Spawn({pub, "register|ABC|pub|1|0", "expect|2|h=1", "expect|7|t=ACME.LAST|save=T",
             "value|$T|int:1", "value|$T|int:2", "value|$T|text:three", "expect|9|h=$T"});
  ASSERT_TRUE(WaitLine("Client connected :1 ABC; Publisher"));
  auto* subscriber =
      Spawn({sub, "register|S|s|0|1", "expect|2|h=1", "topic|4|@ABC:ACME.LAST", "expect|13|h=4|v=1",
             "expect|13|h=4|v=2", "expect|13|h=4|v=three", "close|4"});
  EXPECT_EQ(FinishChild(subscriber), 0);
  EXPECT_EQ(FinishChild(publisher), 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, BusPolledV2Test,
                         ::testing::Values(KindPair{"v2-polled", "v2-polled"},
                                           KindPair{"v2-polled", "v2"}, KindPair{"v2", "v2-polled"},
                                           KindPair{"classic", "v2-polled"}),
                         [](const ::testing::TestParamInfo<KindPair>& info) {
                           auto name = [](std::string kind) {
                             return kind == "v2-polled" ? std::string("V2Polled")
                                    : kind == "v2"      ? std::string("V2")
                                                        : std::string("Classic");
                           };
                           return name(info.param.publisher) + "To" + name(info.param.subscriber);
                         });

}  // namespace
}  // namespace orvex::test
