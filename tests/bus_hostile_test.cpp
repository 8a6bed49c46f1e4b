// Peers of the same user that attack the bus instead of using it: requests that never
// become clients, shared objects shrunk under the bus, the folder's lock file held for
// ever. The bus must drop what was attacked and go on serving everyone else.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "client/bus_client.h"

#include "platform/clock.h"
#include "platform/event.h"
#include "tests/bus_fixture.h"
#include "transport/named_event.h"
#include "transport/sf_mutex.h"
#include "transport/sf_shared_memory.h"
#include "transport/smf_acceptor_v2.h"

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/kernel/posix/named_object.h"
#endif

namespace orvex::test {
namespace {

namespace acc = smf_acceptor;

// A client's hold on the V2 acceptor: its header, its lock and its wake-up event,
// opened once.
struct V2AcceptorPeer {
  explicit V2AcceptorPeer(const std::string& acceptor) {
    opened = header.OpenOrCreate(false, acceptor, acc::kDefaultSize) &&
             lock.Open(acceptor + ".MT", false);
    wake = platform::OpenNamedEvent(acceptor + ".EV");
  }
  ~V2AcceptorPeer() { platform::CloseEvent(wake); }
  SfSharedMemory header;
  SfMutex lock;
  platform::EventObject* wake = nullptr;
  bool opened = false;
};

// Posts `count` request values from `first` on into the V2 acceptor header, as a
// client does, without ever making the links' segments: each becomes a link that
// never registers. Takes no name operation (the objects are open already).
void PostValues(V2AcceptorPeer& peer, uint32_t first, uint32_t count) {
  ASSERT_TRUE(peer.lock.Acquire(5000));
  uint8_t* h = peer.header.view();
  const uint32_t slots = shm::Load(h, acc::kSlotCount);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t write = shm::Load(h, acc::kWriteCounter);
    shm::Store(h, acc::kSlots + (write % slots) * 4, first + i);
    shm::Store(h, acc::kWriteCounter, write + 1);
  }
  peer.lock.Release();
  platform::SetEvent(peer.wake);
}

class BusHostileTest : public BusFixture, public ::testing::WithParamInterface<std::string> {
 protected:
  std::string Connect() { return "connect|" + GetParam(); }
};

TEST_P(BusHostileTest, LinksThatNeverRegisterGiveWayWhenTheTableIsFull) {
  StartBus();
  const std::string release = EventName("release");
  auto* settled = Spawn({Connect(), "register|S|settled|0|1", "expect|2|h=1", "wait|" + release,
                         "topic|1|@BUS:PUBLIST", "expect|13|h=1|v="});
  ASSERT_TRUE(WaitLine("Client connected :1 S; Subscriber"));
  V2AcceptorPeer peer(base_ + ".V2");
  ASSERT_TRUE(peer.opened);
  PostValues(peer, 0x7F000000u, 70);
  ASSERT_TRUE(WaitUntil([&] { return server_->connection_count() == 30; }));
  // A real client behind them (a V2 one queues behind all 70) gets in within seconds,
  // not after the 15 s in which silent links are dropped.
  const uint32_t t0 = platform::TickCount();
  auto* late = Spawn({Connect(), "register|L|late|0|1", "expect|2|h=1"});
  EXPECT_EQ(FinishChild(late), 0);
  const uint32_t waited = platform::TickCount() - t0;
  std::printf("[ figure ] %s client registered %u ms after 70 phantom requests\n",
              GetParam().c_str(), waited);
  EXPECT_LT(waited, 10000u);
  // A registered client never gives way.
  Signal(release);
  EXPECT_EQ(FinishChild(settled), 0);
  EXPECT_FALSE(HasLine("Client disconnected :1"));
}

INSTANTIATE_TEST_SUITE_P(BothLinks, BusHostileTest, ::testing::Values("classic", "v2"), KindName);

#ifndef _WIN32
using platform::posix::ObjectFileName;
using platform::posix::ObjectFolder;
using platform::posix::ObjectKind;

class BusShrinkTest : public BusHostileTest {};

// Shrinks the object file `file` to 0 bytes, as a peer of the same user can.
bool ShrinkFile(const std::string& file) {
  const int fd = open((ObjectFolder() + "/" + file).c_str(), O_RDWR | O_CLOEXEC);
  const bool shrunk = fd >= 0 && ftruncate(fd, 0) == 0;
  if (fd >= 0) close(fd);
  return shrunk;
}

// Shrinks every mapping whose name starts with `prefix`; returns how many.
int ShrinkMappings(const std::string& prefix) {
  const std::string folder = ObjectFolder();
  const std::string start = ObjectFileName(ObjectKind::kMapping, prefix);
  int shrunk = 0;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return 0;
  while (dirent* entry = readdir(dir)) {
    const std::string file = entry->d_name;
    if (file.rfind(start, 0) == 0 && ShrinkFile(file)) ++shrunk;
  }
  closedir(dir);
  return shrunk;
}

TEST_P(BusShrinkTest, ALinkWhoseObjectsWereShrunkIsDroppedAndTheBusGoesOn) {
  StartBus();
  const std::string go = EventName("go");
  auto* victim = Spawn({Connect(), "register|V|victim|0|1", "expect|2|h=1", "wait|" + go});
  ASSERT_TRUE(WaitLine("Client connected :1 V; Subscriber"));
  // Only the victim's link exists yet: every mapping of a link is the victim's.
  const std::string links = GetParam() == "v2" ? base_ + ".V2." : base_ + "_";
  const uint32_t t0 = platform::TickCount();
  ASSERT_GE(ShrinkMappings(links), 2);
  EXPECT_TRUE(WaitLine("Client disconnected :1", 10000));
  std::printf("[ figure ] %s link dropped %u ms after its objects were shrunk\n",
              GetParam().c_str(), platform::TickCount() - t0);
  EXPECT_EQ(server_->connection_count(), 0u);
  auto* next = Spawn({Connect(), "register|N|next|0|1", "expect|2|h=1", "topic|1|@BUS:PUBLIST",
                      "expect|13|h=1|v="});
  EXPECT_EQ(FinishChild(next), 0);
  // The victim may have lost the bus's reply with its link: it is not waited for.
  Signal(go);
  FinishChild(victim, 500);
}

TEST_P(BusShrinkTest, ShrunkAcceptorsDoNotEndTheBus) {
  StartBus();
  const std::string go = EventName("go");
  auto* client = Spawn({Connect(), "register|C|client|0|1", "expect|2|h=1", "wait|" + go,
                        "topic|1|@BUS:PUBLIST", "expect|13|h=1|v="});
  ASSERT_TRUE(WaitLine("Client connected :1 C; Subscriber"));
  // The classic block and the V2 header.
  ASSERT_TRUE(ShrinkFile(ObjectFileName(ObjectKind::kMapping, base_)));
  ASSERT_TRUE(ShrinkFile(ObjectFileName(ObjectKind::kMapping, base_ + ".V2")));
  const uint64_t passes = server_->pass_count();
  EXPECT_TRUE(WaitUntil([&] {
    server_->Wake();
    return server_->pass_count() > passes + 20;
  }));
  // The client already connected is still served.
  Signal(go);
  EXPECT_EQ(FinishChild(client), 0);
  EXPECT_FALSE(HasLine("Client disconnected :1"));
}

INSTANTIATE_TEST_SUITE_P(BothLinks, BusShrinkTest, ::testing::Values("classic", "v2"), KindName);

// A classic client stopped while it holds the acceptor's request mutex (every client
// waits for it) or its response mutex (the bus cannot answer without it) keeps other
// classic clients out: their connect fails within its time-out and names the mutex.
// Once it is free, clients get in again.
TEST_F(BusFixture, AClassicConnectThatFindsAnAcceptorMutexHeldNamesIt) {
  StartBus();
  for (const std::string suffix : {"_MTRQ", "_MTRP"}) {
    SCOPED_TRACE(suffix);
    std::atomic<bool> held{false}, release{false};
    // Another thread: a mutex is its owner's again on Windows.
    std::thread holder([&] {
      SfMutex mutex;
      if (mutex.Open(base_ + suffix, false) && mutex.Acquire(5000)) {
        held = true;
        while (!release) platform::SleepMs(5);
        mutex.Release();
      }
    });
    ASSERT_TRUE(WaitUntil([&] { return held.load(); }, 5000));
    client::BusClient bus;
    EXPECT_FALSE(bus.Connect(base_, client::LinkKind::kClassic, 800));
    EXPECT_EQ(bus.held_mutex(), base_ + suffix);
    release = true;
    holder.join();
    EXPECT_TRUE(bus.Connect(base_, client::LinkKind::kClassic, 5000));
    EXPECT_EQ(bus.held_mutex(), "");
  }
}

// The lock file is held for less than the 1 s other processes of the user wait for it
// (tests of other programs may run meanwhile); this bus waits 200 ms at most.
TEST_F(BusFixture, AHeldLockFileDoesNotFreezeTheBus) {
  platform::posix::SetNamespaceLockWaitForTesting(200);
  StartBus();
  V2AcceptorPeer peer(base_ + ".V2");
  ASSERT_TRUE(peer.opened);
  const int lock_fd = open((ObjectFolder() + "/lock").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(lock_fd, 0);
  ASSERT_EQ(flock(lock_fd, LOCK_EX), 0);
  // A request the bus must make objects for while the lock is held.
  const uint64_t passes = server_->pass_count();
  PostValues(peer, 0x7E000000u, 1);
  // The idle loop sleeps: wake it often, as traffic would.
  for (int i = 0; i < 140; ++i) {
    server_->Wake();
    platform::SleepMs(5);
  }
  const uint64_t passes_held = server_->pass_count() - passes;
  const uint32_t taken = shm::Load(peer.header.view(), acc::kReadCounter);
  close(lock_fd);
  std::printf("[ figure ] %llu passes of the bus loop in 700 ms with the lock file held\n",
              static_cast<unsigned long long>(passes_held));
  EXPECT_EQ(taken, shm::Load(peer.header.view(), acc::kWriteCounter));  // request dealt with
  EXPECT_GT(passes_held, 10u);
  EXPECT_EQ(server_->connection_count(), 0u);  // its link could not be made
  platform::posix::SetNamespaceLockWaitForTesting(1000);
}

// While the lock file is held the bus cannot create the segments a reader's link grows
// into. A reader that keeps up loses nothing for it: its values wait in the bus, kept
// whole instead of conflated (and counted apart), and arrive in order once the link can
// grow again. Eight handles of one topic make the reader's link need more than its
// first segment, while the publisher's own first segment suffices.
TEST_F(BusFixture, AReaderWhoseLinkCannotGrowKeepsItsValues) {
  platform::posix::SetNamespaceLockWaitForTesting(200);
  StartBus();
  const std::string ready = EventName("ready"), pub_ready = EventName("pub"), go = EventName("go");
  std::vector<std::string> reader{"connect|v2", "register|S|s|0|1", "expect|2|h=1"};
  for (int h = 1; h <= 8; ++h) reader.push_back("topic|" + std::to_string(h) + "|A");
  reader.insert(reader.end(), {"signal|" + ready, "allinorder|39|1,2,3,4,5,6,7,8"});
  auto* subscriber = Spawn(reader);
  ASSERT_TRUE(WaitSignal(ready));
  // Named events are opened under the lock file too: the publisher waits for `go`
  // before the lock is taken, and the test sets it through a handle it already has.
  auto* publisher = Spawn({"connect|v2", "register|P|p|1|0", "expect|2|h=1", "await|7|t=A|save=T",
                           "signal|" + pub_ready, "wait|" + go, "flood|$T|40|0|200"});
  ASSERT_TRUE(WaitSignal(pub_ready));
  platform::EventObject* go_event = MakeNamedEvent(go, false);
  platform::SleepMs(300);
  const int lock_fd = open((ObjectFolder() + "/lock").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(lock_fd, 0);
  ASSERT_EQ(flock(lock_fd, LOCK_EX), 0);
  platform::SetEvent(go_event);
  EXPECT_TRUE(WaitUntil([&] { return server_->kept_total() > 0; }, 5000));
  platform::SleepMs(300);
  close(lock_fd);
  platform::CloseEvent(go_event);
  EXPECT_EQ(FinishChild(subscriber, 30000), 0);
  std::printf("[ figure ] %llu values kept, %llu conflated while the lock file was held\n",
              static_cast<unsigned long long>(server_->kept_total()),
              static_cast<unsigned long long>(server_->conflated_total()));
  EXPECT_EQ(server_->conflated_total(), 0u);
  EXPECT_TRUE(
      HasLine("Client 1: its link cannot grow for now: its values are kept, not conflated"));
  EXPECT_EQ(FinishChild(publisher), 0);
  platform::posix::SetNamespaceLockWaitForTesting(1000);
}
#endif

}  // namespace
}  // namespace orvex::test
