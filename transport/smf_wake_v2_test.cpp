// The optional wake-ups of V2 links inside one process: the server offers them, a
// client takes them, a commit sets the reader's event only while the reader announced
// a sleep, and a client or server without them still works by polling.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "platform/clock.h"
#include "tests/support/child_process.h"
#include "transport/smf_link_v2.h"

namespace orvex {
namespace {

namespace wake = smf_wake;

bool Write(SfSMFLinkV2& link, uint8_t fill) {
  uint8_t* p = link.BeginWrite(16);
  if (p == nullptr) return false;
  std::memset(p, fill, 16);
  return link.Commit();
}

bool Signalled(platform::EventObject* event) {
  return platform::WaitEvent(event, 0) == platform::WaitResult::kSignalled;
}

struct WakePair {
  WakePair() : name(test::UniqueName("Local\\OrvexV2Wake")) {
    EXPECT_TRUE(server.Connect(name, 0));
    EXPECT_TRUE(client.Connect(name, 1));
  }
  std::string name;
  SfSMFLinkV2 server;
  SfSMFLinkV2 client;
};

TEST(SfSMFWakeV2Test, AClientCommitWakesTheServerOnlyWhileItAnnouncedASleep) {
  WakePair pair;
  // Until the client takes the wake-ups, the server must poll its link.
  EXPECT_EQ(pair.server.ArmWake(), nullptr);
  ASSERT_TRUE(pair.client.AttachWake());
  EXPECT_TRUE(pair.client.has_wake());

  platform::EventObject* event = pair.server.ArmWake();
  ASSERT_NE(event, nullptr);
  EXPECT_FALSE(Signalled(event));
  ASSERT_TRUE(Write(pair.client, 1));
  EXPECT_TRUE(Signalled(event));
  pair.server.DisarmWake();

  // A busy reader (no sleep announced) is not signalled: its writer makes no call.
  platform::ResetEvent(event);
  ASSERT_TRUE(Write(pair.client, 2));
  EXPECT_FALSE(Signalled(event));
  // Arming again resets the event, so an old set cannot end a later sleep early.
  platform::SetEvent(event);
  ASSERT_EQ(pair.server.ArmWake(), event);
  EXPECT_FALSE(Signalled(event));
  pair.server.DisarmWake();
  ASSERT_TRUE(pair.server.Ready());
  uint32_t length = 0;
  ASSERT_NE(pair.server.Peek(&length), nullptr);
  EXPECT_EQ(length, 16u);
}

TEST(SfSMFWakeV2Test, AClientSleepsUntilTheServerCommits) {
  WakePair pair;
  ASSERT_TRUE(pair.client.AttachWake());
  std::thread writer([&] {
    platform::SleepMs(50);
    Write(pair.server, 7);
  });
  const uint32_t t0 = platform::TickCount();
  EXPECT_TRUE(pair.client.WaitReady(20000));
  EXPECT_LT(platform::TickCount() - t0, 10000u);
  writer.join();
  uint32_t length = 0;
  const uint8_t* record = pair.client.Peek(&length);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record[0], 7);
  // Nothing more comes: the wait ends at its limit.
  ASSERT_TRUE(pair.client.Pop());
  EXPECT_FALSE(pair.client.WaitReady(30));
}

// Fills the client's link (capped at `limit`); answers the records written and in
// *first those that went to segment 0.
uint32_t Fill(SfSMFLinkV2& link, uint64_t limit, uint32_t* first = nullptr) {
  link.SetSegmentLimit(limit);
  uint32_t written = 0, in_first = 0;
  while (Write(link, static_cast<uint8_t>(written))) {
    ++written;
    if (link.write_index() == 0) ++in_first;
  }
  if (first != nullptr) *first = in_first;
  return written;
}

// A writer that waits for room is woken when its reader drains one of its segments
// (the pending count falls to 0) and when the reader leaves a segment it drained (the
// writer may go back to it), but a side that only waits for records is not woken by
// the reading. Both ways: a client's writer, and the bus's once the client said it
// frees room with a wake-up (an older client, which says only that it is attached,
// leaves the bus polling for room).
TEST(SfSMFWakeV2Test, AWriterWaitingForRoomIsWokenWhenItsReaderFreesIt) {
  for (const bool bus_writes : {false, true}) {
    SCOPED_TRACE(bus_writes ? "the bus writes" : "the client writes");
    WakePair pair;
    EXPECT_FALSE(pair.server.PeerFreesRoom());
    ASSERT_TRUE(pair.client.AttachWake());
    EXPECT_TRUE(pair.server.PeerFreesRoom());
    SfSharedMemory block;
    ASSERT_TRUE(block.OpenOrCreate(false, pair.name + ".W", wake::kSize));
    shm::Store(block.view(), wake::kClientAttached, wake::kAttachedRecords);
    EXPECT_FALSE(pair.server.PeerFreesRoom());
    shm::Store(block.view(), wake::kClientAttached, wake::kAttachedRecords | wake::kAttachedRoom);

    SfSMFLinkV2& writer = bus_writes ? pair.server : pair.client;
    SfSMFLinkV2& reader = bus_writes ? pair.client : pair.server;
    // Segments 0 and 1 (16 + 32 KiB): the writer moves to 1 and then finds no room.
    uint32_t in_first = 0;
    const uint32_t written = Fill(writer, 48 * 1024, &in_first);
    ASSERT_GT(written, in_first);
    ASSERT_GT(in_first, 100u);
    ASSERT_FALSE(writer.CanWrite(16));
    // The writer's announcement: the bus arms its own link; a client writer's is made
    // as WaitWritable makes it, through a second view.
    SfSMFWakeV2 waiter;
    ASSERT_TRUE(bus_writes || waiter.Open(pair.name));
    const auto arm = [&](uint32_t reason) {
      return bus_writes ? pair.server.ArmWake(reason) : waiter.Arm(reason);
    };
    const auto disarm = [&](uint32_t reason) {
      bus_writes ? pair.server.DisarmWake(reason) : waiter.Disarm(reason);
    };
    platform::EventObject* room = arm(wake::kWaitRoom);
    ASSERT_NE(room, nullptr);
    for (uint32_t popped = 0; popped < in_first; ++popped) {
      EXPECT_FALSE(Signalled(room)) << "woken with records still pending, at " << popped;
      ASSERT_TRUE(reader.Pop());
    }
    EXPECT_TRUE(Signalled(room)) << "segment 0 drained and nobody told the writer";
    // Segment 0 is free to the writer only once the reader follows the marker.
    EXPECT_FALSE(writer.CanWrite(16));
    platform::ResetEvent(room);
    ASSERT_EQ(reader.read_index(), 0u);
    reader.Ready();
    EXPECT_EQ(reader.read_index(), 1u);
    EXPECT_TRUE(Signalled(room)) << "segment 0 left and nobody told the writer";
    EXPECT_TRUE(writer.CanWrite(16));
    disarm(wake::kWaitRoom);

    // Only waiting for records: the reading wakes nobody.
    ASSERT_EQ(arm(wake::kWaitRecords), room);
    while (reader.Ready()) ASSERT_TRUE(reader.Pop());
    EXPECT_FALSE(Signalled(room));
    disarm(wake::kWaitRecords);
  }
}

// A writer waits for room until the reader takes some, on the wake-up or polled, and
// gives up at its time-out when none comes.
TEST(SfSMFWakeV2Test, AWriterWaitsForRoomUntilTheReaderTakesSomeOrItsTimeOut) {
  for (const bool wake : {true, false}) {
    WakePair pair;
    if (wake) {
      ASSERT_TRUE(pair.client.AttachWake());
    }
    const uint32_t written = Fill(pair.client, 16 * 1024);
    ASSERT_GT(written, 100u);
    uint32_t t0 = platform::TickCount();
    EXPECT_FALSE(pair.client.WaitWritable(16, 60));
    EXPECT_GE(platform::TickCount() - t0, 50u);
    std::thread reader([&] {
      platform::SleepMs(30);
      while (pair.server.Ready()) pair.server.Pop();
    });
    t0 = platform::TickCount();
    EXPECT_TRUE(pair.client.WaitWritable(16, 20000)) << "wake-ups " << wake;
    EXPECT_LT(platform::TickCount() - t0, 10000u);
    reader.join();
    EXPECT_TRUE(Write(pair.client, 1));
  }
}

TEST(SfSMFWakeV2Test, WithoutTheBlockBothEndsPoll) {
  const std::string name = test::UniqueName("Local\\OrvexV2NoWake");
  // A server end built without Connect offers no wake-ups, as an older bus does.
  SfSMFLinkV2 server;
  ASSERT_TRUE(server.StartWriter(name + ".S"));
  SfSMFLinkV2 client;
  ASSERT_TRUE(client.Connect(name, 1));
  server.StartReader(name + ".C");
  EXPECT_FALSE(client.AttachWake());
  EXPECT_FALSE(client.has_wake());
  EXPECT_EQ(client.ArmWake(), nullptr);
  std::thread writer([&] {
    platform::SleepMs(20);
    Write(server, 3);
  });
  EXPECT_TRUE(client.WaitReady(20000));
  writer.join();
  ASSERT_TRUE(Write(client, 4));
  EXPECT_TRUE(server.WaitReady(1000));
}

TEST(SfSMFWakeV2Test, ABlockOfAnotherVersionIsNotTaken) {
  WakePair pair;
  SfSharedMemory block;
  ASSERT_TRUE(block.OpenOrCreate(false, pair.name + ".W", wake::kSize));
  shm::Store(block.view(), wake::kVersion, 2);
  EXPECT_FALSE(pair.client.AttachWake());
  EXPECT_EQ(pair.server.ArmWake(), nullptr);
  // Scribbled flags make the server set events needlessly, nothing worse.
  shm::Store(block.view(), wake::kVersion, wake::kCurrentVersion);
  shm::Store(block.view(), wake::kClientWaiting, 0xFFFFFFFF);
  ASSERT_TRUE(Write(pair.server, 9));
  ASSERT_TRUE(pair.client.Ready());
}

}  // namespace
}  // namespace orvex
