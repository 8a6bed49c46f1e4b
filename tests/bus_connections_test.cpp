// Registration, refusals, standby publishers, the limit of 30 links, connection ids,
// inactivity, heartbeats, client notices and the backlog bound, with clients in their
// own processes over both link kinds.
#include <gtest/gtest.h>

#include <thread>

#include "platform/event.h"
#include "platform/test_hooks.h"
#include "protocol/message_codes.h"
#include "tests/bus_fixture.h"
#include "transport/named_event.h"

namespace orvex::test {
namespace {

class BusConnectionsTest : public BusFixture, public ::testing::WithParamInterface<std::string> {
 protected:
  std::string Connect() { return "connect|" + GetParam(); }
};

TEST_P(BusConnectionsTest, RegistrationRepliesAndTheThreeRefusals) {
  StartBus();
  auto* first = Spawn({Connect(), "register||nobody|0|0",
                       "expect|2|h=0|t=Client must be publisher or subsriber",
                       "register|ABC|both|1|1", "expect|2|h=1|t=Connected", "register|ABC|both|1|1",
                       "expect|2|h=0|t=Could not add connection handle"});
  EXPECT_EQ(FinishChild(first), 0);
  EXPECT_TRUE(WaitLine("Client connected :1 ABC; Publisher; Subscriber"));
  auto* second =
      Spawn({Connect(), "register||pub|1|0", "expect|2|h=0|t=Publisher must supply valid SID value",
             "register|XYZ|pub|1|0", "expect|2|h=1|t=Connected"});
  EXPECT_EQ(FinishChild(second), 0);
  EXPECT_TRUE(WaitLine("Client connected :2 XYZ; Publisher"));
  // The refused registrations left no trace: two clients, one line each.
  size_t connected = 0;
  for (const auto& line : Lines()) connected += line.rfind("Client connected", 0) == 0;
  EXPECT_EQ(connected, 2u);
}

TEST_P(BusConnectionsTest, NoPublisherRegistersUnderTheBusSid) {
  StartBus();
  const std::string refusal(RtdServer::kReservedSidRefusal);
  auto* client = Spawn({Connect(), "rawregister| bus |p|1|0", "expect|2|h=0|t=" + refusal,
                        "rawregister|BUS|p|1|1", "expect|2|h=0|t=" + refusal,
                        // A subscriber's SID routes nothing: it may be anything.
                        "register|BUS|s|0|1", "expect|2|h=1", "topic|1|@BUS:DEFPUB",
                        "expect|13|h=1|v=", "topic|2|@BUS:PUBLIST", "expect|13|h=2|v="});
  EXPECT_EQ(FinishChild(client), 0);
  EXPECT_TRUE(WaitLine("Client connected :1 BUS; Subscriber"));
}

TEST_P(BusConnectionsTest, AStandbyPublisherIsListedOnlyAfterThePrimaryLeaves) {
  StartBus();
  const std::string s0 = EventName("s0"), s1 = EventName("s1"), s2 = EventName("s2"),
                    s3 = EventName("s3"), p1go = EventName("p1go"), p2go = EventName("p2go");
  auto* watcher = Spawn({Connect(), "register|W|watch|0|1", "expect|2|h=1", "topic|1|@BUS:PUBLIST",
                         "expect|13|h=1|v=", "signal|" + s0, "expect|13|h=1|v=ABC",
                         "signal|" + s1,                         // the primary
                         "expect|13|h=1|v=ABC", "signal|" + s2,  // standby: same list
                         "expect|13|h=1|v=ABC", "signal|" + s3,  // primary gone, standby on
                         "expect|13|h=1|v="});                   // both gone
  ASSERT_TRUE(WaitSignal(s0));
  auto* primary = Spawn({Connect(), "register|ABC|p1|1|0", "expect|2|h=1", "wait|" + p1go,
                         "disconnect|done", "await|3|t=done"});
  ASSERT_TRUE(WaitSignal(s1));
  auto* standby =
      Spawn({Connect(), "register|ABC|p2|1|0", "expect|2|h=1", "wait|" + p2go, "disconnect|done"});
  ASSERT_TRUE(WaitSignal(s2));
  Signal(p1go);
  ASSERT_TRUE(WaitSignal(s3));
  Signal(p2go);
  EXPECT_EQ(FinishChild(watcher), 0);
  EXPECT_EQ(FinishChild(primary), 0);
  EXPECT_EQ(FinishChild(standby), 0);
}

TEST_P(BusConnectionsTest, The31stLinkWaitsForAFreePlace) {
  StartBus();
  const std::string leave = EventName("leave"), release = EventName("release");
  std::vector<platform::ProcessObject*> children;
  children.push_back(Spawn(
      {Connect(), "register|S|first|0|1", "expect|2|h=1", "wait|" + leave, "disconnect|bye"}));
  ASSERT_TRUE(WaitLine("Client connected :1 S; Subscriber"));
  for (int i = 1; i < 30; ++i) {
    children.push_back(
        Spawn({Connect(), "register|S|many|0|1", "expect|2|h=1", "wait|" + release}));
  }
  ASSERT_TRUE(WaitLine("Client connected :30 S; Subscriber", 60000));
  auto* late = Spawn({Connect(), "register|S|late|0|1", "expect|2|h=1", "wait|" + release});
  platform::SleepMs(1500);
  EXPECT_EQ(server_->connection_count(), 30u);
  EXPECT_FALSE(HasLine("Client connected :31 S; Subscriber"));
  Signal(leave);
  EXPECT_TRUE(WaitLine("Client connected :31 S; Subscriber"));
  EXPECT_TRUE(HasLine("Client disconnected :1"));
  Signal(release);
  EXPECT_EQ(FinishChild(late), 0);
  for (auto* child : children) EXPECT_EQ(FinishChild(child), 0);
}

TEST_P(BusConnectionsTest, IdsWrapAfter65535SkipZeroAndIdsInUse) {
  StartBus();
  server_->SetNextConnectionIdForTesting(65535);
  const std::string release = EventName("release");
  std::vector<platform::ProcessObject*> children;
  const char* names[] = {"A", "B", "C"};
  const char* lines[] = {"Client connected :65535 A; Subscriber",
                         "Client connected :1 B; Subscriber", "Client connected :2 C; Subscriber"};
  for (int i = 0; i < 3; ++i) {
    children.push_back(Spawn({Connect(), std::string("register|") + names[i] + "|x|0|1",
                              "expect|2|h=1", "wait|" + release}));
    ASSERT_TRUE(WaitLine(lines[i])) << i;
  }
  // After the wrap, ids in use are skipped: 1 and 2 are taken.
  server_->SetNextConnectionIdForTesting(1);
  children.push_back(Spawn({Connect(), "register|D|x|0|1", "expect|2|h=1", "wait|" + release}));
  EXPECT_TRUE(WaitLine("Client connected :3 D; Subscriber"));
  Signal(release);
  for (auto* child : children) EXPECT_EQ(FinishChild(child), 0);
}

TEST_P(BusConnectionsTest, ASilentClientIsDisconnectedWhateverItReceives) {
  StartBus();
  const std::string ready = EventName("ready");
  const std::string tick = std::to_string(server_->server_start_tick());
  // Receives ticker values and heartbeats but sends nothing after its request.
  auto* silent = Spawn({Connect(), "register|S|quiet|0|1", "expect|2|h=1", "topic|1|@BUS:TICKER",
                        "expect|13|h=1|v=1", "signal|" + ready, "heartbeat|" + tick,
                        "await|3|t=Inactive connection"});
  ASSERT_TRUE(WaitSignal(ready));
  // Never registers: dropped without a client entry.
  auto* mute = Spawn({Connect(), "await|3|t=Inactive connection"});
  ASSERT_TRUE(WaitUntil([&] { return server_->connection_count() == 2; }));
  platform::SetTickOffsetForTesting(5001);
  platform::SleepMs(300);
  platform::SetTickOffsetForTesting(16000);
  EXPECT_TRUE(WaitLine("Client disconnected :1"));
  EXPECT_TRUE(WaitUntil([&] { return server_->connection_count() == 0; }));
  EXPECT_EQ(FinishChild(silent), 0);
  EXPECT_EQ(FinishChild(mute), 0);
  server_.reset();
  platform::SetTickOffsetForTesting(0);
  EXPECT_FALSE(HasLine("Client disconnected :2"));
}

// Clients of the library hold their link's liveness mutex: one that ends without a word
// is let go as soon as the bus looks, not after the silence limit. A killed primary
// publisher hands its topics to the standby; a client that closes its link without a
// disconnect is told apart from a killed one.
TEST_P(BusConnectionsTest, AClientThatEndsIsLetGoByItsLivenessMutex) {
  StartBus();
  const std::string up1 = EventName("up1"), up2 = EventName("up2"), got = EventName("got"),
                    stop = EventName("stop"), removed = EventName("removed");
  auto* primary =
      Spawn({Connect(), "register|ABC|p1|1|0", "expect|2|h=1", "serve|" + up1 + "|" + stop});
  ASSERT_TRUE(WaitSignal(up1));
  auto* standby =
      Spawn({Connect(), "register|ABC|p2|1|0", "expect|2|h=1", "serve|" + up2 + "|" + stop});
  ASSERT_TRUE(WaitSignal(up2));
  auto* reader = Spawn({Connect(), "register|R|r|0|1", "expect|2|h=1", "monitor|000001", "await|33",
                        "topic|1|@ABC:X", "await|13|h=1|v=pub:X", "signal|" + got,
                        "await|38|h=1|t=Client process ended", "await|13|h=1|v=pub:X",
                        "signal|" + removed, "await|38|h=4|t=Client closed the link"});
  ASSERT_TRUE(WaitSignal(got));
  ASSERT_TRUE(platform::KillProcess(primary));
  int code = 0;
  platform::WaitProcess(primary, 10000, &code);
  platform::CloseProcess(primary);
  ASSERT_TRUE(WaitSignal(removed));
  EXPECT_TRUE(HasLine("Client 1 dropped: Client process ended"));
  auto* leaver = Spawn({Connect(), "register|L|leaver|0|1", "expect|2|h=1"});
  EXPECT_EQ(FinishChild(leaver), 0);
  EXPECT_EQ(FinishChild(reader), 0);
  EXPECT_TRUE(HasLine("Client 4 dropped: Client closed the link"));
  Signal(stop);
  EXPECT_EQ(FinishChild(standby), 0);
}

// A link's first heartbeat comes at the bus's first beat after its acceptance, even
// when the link was busy just before that beat (it used to wait for the next one).
TEST_P(BusConnectionsTest, TheFirstHeartbeatComesAtTheNextBeat) {
  StartBus();
  const std::string tick = std::to_string(server_->server_start_tick());
  const std::string registered = EventName("registered"), beat = EventName("beat");
  platform::SetTickOffsetForTesting(4000);
  auto* client = Spawn({Connect(), "register|H|h|0|1", "expect|2|h=1", "signal|" + registered,
                        "heartbeat|" + tick, "signal|" + beat});
  ASSERT_TRUE(WaitSignal(registered));
  // The bus's clock passes its first beat a second after the registration; the beat
  // after it would be five seconds away on the real clock.
  platform::SetTickOffsetForTesting(5001);
  server_->Wake();
  EXPECT_TRUE(WaitSignal(beat, 3000));
  EXPECT_EQ(FinishChild(client), 0);
  server_.reset();
  platform::SetTickOffsetForTesting(0);
}

TEST_P(BusConnectionsTest, ClientNoticesAndADepartedMonitorsIdIsForgotten) {
  StartBus();
  server_->SetNextConnectionIdForTesting(65535);
  const std::string added = EventName("added");
  // The monitor takes id 65535, follows clients, sees itself listed, then leaves.
  auto* monitor = Spawn({Connect(), "register|M|mon|0|1", "expect|2|h=1", "monitor|000011",
                         "expect|33|items=0,1", "expect|37|h=65535|t=M", "signal|" + added,
                         "expect|37|h=1|t=PUB", "disconnect|gone"});
  ASSERT_TRUE(WaitSignal(added));
  auto* publisher = Spawn({Connect(), "register|PUB|p|1|0", "expect|2|h=1"});
  EXPECT_EQ(FinishChild(monitor), 0);
  EXPECT_EQ(FinishChild(publisher), 0);
  ASSERT_TRUE(WaitLine("Client disconnected :65535"));
  // A new client gets the freed id and must not inherit the monitor's notices.
  server_->SetNextConnectionIdForTesting(65535);
  const std::string ready = EventName("ready"), done = EventName("done");
  auto* heir = Spawn({Connect(), "register|H|heir|0|1", "expect|2|h=1", "signal|" + ready,
                      "wait|" + done, "quiet|500"});
  ASSERT_TRUE(WaitSignal(ready));
  ASSERT_TRUE(WaitLine("Client connected :65535 H; Subscriber"));
  auto* another = Spawn({Connect(), "register|XYZ|p|1|0", "expect|2|h=1"});
  EXPECT_EQ(FinishChild(another), 0);
  Signal(done);
  EXPECT_EQ(FinishChild(heir), 0);
}

TEST_P(BusConnectionsTest, ShutdownTellsEveryClient) {
  StartBus();
  const std::string ready = EventName("ready");
  auto* client = Spawn({Connect(), "register|S|s|0|1", "expect|2|h=1", "signal|" + ready,
                        "await|3|t=Server shutting down"});
  ASSERT_TRUE(WaitSignal(ready));
  server_.reset();
  EXPECT_EQ(FinishChild(client), 0);
}

// "Server shutting down" is each link's last message, even while a publisher floods the
// links: the server thread writes it between two messages (it is the only writer of
// every link) and sends nothing after it, not even the bus's own ticker.
TEST_P(BusConnectionsTest, ShutdownIsTheLastWordOnEveryLinkEvenUnderAFlood) {
  grace_ms_ = 2500;
  StartBus();
  const std::string flooding = EventName("flooding");
  std::vector<platform::ProcessObject*> readers;
  for (int i = 0; i < 3; ++i) {
    const std::string ready = EventName("ready" + std::to_string(i));
    readers.push_back(Spawn({Connect(), "register|S|s" + std::to_string(i) + "|0|1", "expect|2|h=1",
                             "topic|1|@P:A", "topic|2|@BUS:TICKER", "signal|" + ready,
                             "until|3|t=Server shutting down", "quiet|1500"}));
    ASSERT_TRUE(WaitSignal(ready));
  }
  auto* publisher = Spawn({Connect(), "register|P|pub|1|0", "expect|2|h=1", "await|7|t=A|save=TA",
                           "signal|" + flooding, "flood|$TA|100000000|20"});
  ASSERT_TRUE(WaitSignal(flooding));
  platform::SleepMs(200);
  server_.reset();
  for (auto* reader : readers) EXPECT_EQ(FinishChild(reader), 0);
  FinishChild(publisher);  // its flood ends when its link closes
}

TEST_P(BusConnectionsTest, NoLinkIsAcceptedOnceShutdownHasBegun) {
  grace_ms_ = 6000;
  StartBus();
  const std::string ready = EventName("ready"), told = EventName("told"), go = EventName("go");
  auto* client = Spawn({Connect(), "register|S|s|0|1", "expect|2|h=1", "signal|" + ready,
                        "await|3|t=Server shutting down", "signal|" + told});
  // Started early and held back, so it asks well inside the grace time.
  auto* late = Spawn({"wait|" + go, "noconnect|" + GetParam() + "|2000"});
  ASSERT_TRUE(WaitSignal(ready));
  std::thread stopper([this] { server_.reset(); });
  const bool was_told = WaitSignal(told);
  Signal(go);
  EXPECT_TRUE(was_told);
  EXPECT_EQ(FinishChild(late), 0);
  stopper.join();
  EXPECT_EQ(FinishChild(client), 0);
}

INSTANTIATE_TEST_SUITE_P(BothLinks, BusConnectionsTest, ::testing::Values("classic", "v2"),
                         KindName);

// A V2 publisher that ends the moment its burst is written: the segments the bus has
// not reached yet must outlive it, or the tail of the burst is lost.
TEST_F(BusFixture, AV2PublisherThatEndsRightAfterABurstLosesNoneOfIt) {
  StartBus();
  auto* reader = Spawn({"connect|v2", "register|S|reader|0|1", "expect|2|h=1", "topic|1|BURST",
                        "until|13|h=1|v=19999"});
  ASSERT_TRUE(WaitLine("Client connected :1 S; Subscriber"));
  auto* publisher = Spawn({"connect|v2", "register|P|p|1|0", "expect|2|h=1",
                           "await|7|t=BURST|save=T", "flood|$T|20000"});
  EXPECT_EQ(FinishChild(publisher), 0);
  EXPECT_EQ(FinishChild(reader), 0);
}

}  // namespace
}  // namespace orvex::test
