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
