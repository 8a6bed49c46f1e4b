// Classic links inside one process: rings, the queue's pump, hostile headers.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <thread>

#include "platform/clock.h"
#include "tests/support/child_process.h"
#include "tests/support/wait_until.h"
#include "transport/smf_channel.h"
#include "transport/smf_ring.h"

namespace orvex {
namespace {

using test::UniqueName;

TEST(SfSMFRingTest, TenSlotsHoldNineAndTheCreatorResetsIndexes) {
  const std::string name = UniqueName("Local\\OrvexRing");
  SfSMFRing writer;
  ASSERT_TRUE(writer.Open(name, 16, 10, true));
  SfSMFRing reader;
  ASSERT_TRUE(reader.Open(name, 16, 10, false));
  int written = 0;
  while (writer.HasSpace()) {
    std::memset(writer.WriteSlot(), written, 16);
    writer.Publish();
    ++written;
  }
  EXPECT_EQ(written, 9);
  EXPECT_FALSE(writer.WaitSpace());  // full: gives up after its 100 ms
  for (int i = 0; i < 9; ++i) {
    ASSERT_TRUE(reader.WaitData(0));
    EXPECT_EQ(reader.Peek()[15], i);
    reader.Pop();
  }
  EXPECT_FALSE(reader.HasData());
  std::memset(writer.WriteSlot(), 1, 16);
  writer.Publish();
  // A second creator of the same ring zeroes the header again.
  SfSMFRing again;
  ASSERT_TRUE(again.Open(name, 16, 10, true));
  EXPECT_FALSE(reader.HasData());
}

TEST(SfSMFRingTest, IndexesOutOfRangeBreakTheRingInsteadOfEscapingIt) {
  const std::string name = UniqueName("Local\\OrvexRing");
  SfSMFRing ring;
  ASSERT_TRUE(ring.Open(name, 16, 10, true));
  SfSharedMemory raw;
  ASSERT_TRUE(raw.OpenOrCreate(false, name, 16 * 10 + 16));
  auto* header = reinterpret_cast<SmfRingHeader*>(raw.view());
  header->write_index = 0x7FFFFFFF;  // a hostile peer
  EXPECT_FALSE(ring.HasSpace());
  EXPECT_TRUE(ring.broken());
  EXPECT_EQ(ring.WriteSlot(), nullptr);
  EXPECT_EQ(ring.Peek(), nullptr);
  ring.Publish();
  ring.Pop();
  EXPECT_FALSE(ring.WaitData(50));
  EXPECT_EQ(header->write_index.load(), 0x7FFFFFFFu);  // nothing written through it
}

TEST(SfSMFRingTest, OversizedOrDegenerateRingsAreRefused) {
  SfSMFRing ring;
  EXPECT_FALSE(ring.Open(UniqueName("Local\\OrvexRing"), 0x10000000, 1000, true));
  EXPECT_FALSE(ring.Open(UniqueName("Local\\OrvexRing"), 128, 1, true));
  EXPECT_FALSE(ring.Open(UniqueName("Local\\OrvexRing"), 128, 10, false));  // missing
}

TEST(SfSMFQueueTest, BeginWithoutCommitReturnsTheSameBufferAndCommitNeedsABuffer) {
  SfSMFQueueInternal queue(UniqueName("Local\\OrvexQueue"), 128, 10, true);
  ASSERT_TRUE(queue.IsValid());
  EXPECT_FALSE(queue.CommitMessage());
  uint8_t* first = queue.BeginMessage();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(queue.BeginMessage(), first);
  EXPECT_TRUE(queue.CommitMessage());
  EXPECT_FALSE(queue.CommitMessage());
}

TEST(SfSMFQueueTest, AFullRingLosesNothingAndResumes) {
  const std::string name = UniqueName("Local\\OrvexChan");
  SfSMFChannel server(true, 10, 128, name);
  ASSERT_TRUE(server.IsValid());
  SfSMFChannel client(false, 10, 128, name);
  ASSERT_TRUE(client.IsValid());
  constexpr uint32_t kCount = 500;
  for (uint32_t i = 0; i < kCount; ++i) {
    uint8_t* buffer = server.BeginMessage();
    ASSERT_NE(buffer, nullptr);
    std::memcpy(buffer, &i, 4);
    ASSERT_TRUE(server.CommitMessage());
  }
  platform::SleepMs(150);  // the ring fills; the rest waits in the queue
  EXPECT_GT(server.queue().pending_count(), 0u);
  for (uint32_t i = 0; i < kCount; ++i) {
    ASSERT_TRUE(client.WaitData(2000)) << i;
    uint32_t got;
    std::memcpy(&got, client.Peek(), 4);
    ASSERT_EQ(got, i);
    client.Pop();
  }
  // The pump settles its count after publishing, so the reader can see the last values
  // a moment before the count drops; it must drop to nothing, never stay.
  EXPECT_TRUE(test::WaitUntil([&] { return server.queue().pending_count() == 0; }, 5000, 1))
      << server.queue().pending_count();
}

// A link closed right after its last message (a disconnect reason) still delivers it
// to a live reader, however late the pump thread gets to run.
TEST(SfSMFQueueTest, MessagesCommittedJustBeforeTheCloseReachTheReader) {
  for (uint32_t round = 0; round < 20; ++round) {
    const std::string name = UniqueName("Local\\OrvexChan");
    auto server = std::make_unique<SfSMFChannel>(true, 10, 128, name);
    ASSERT_TRUE(server->IsValid());
    SfSMFChannel client(false, 10, 128, name);
    ASSERT_TRUE(client.IsValid());
    for (uint32_t i = 0; i < 3; ++i) {
      uint8_t* buffer = server->BeginMessage();
      ASSERT_NE(buffer, nullptr);
      std::memcpy(buffer, &i, 4);
      ASSERT_TRUE(server->CommitMessage());
    }
    server.reset();
    for (uint32_t i = 0; i < 3; ++i) {
      ASSERT_TRUE(client.WaitData(0)) << "round " << round << " message " << i;
      uint32_t got;
      std::memcpy(&got, client.Peek(), 4);
      EXPECT_EQ(got, i);
      client.Pop();
    }
  }
}

TEST(SfSMFQueueTest, DestroyingAQueueWhoseClientNeverReadsIsQuick) {
  const std::string name = UniqueName("Local\\OrvexQueue");
  const uint32_t start = platform::TickCount();
  {
    SfSMFQueueInternal queue(name, 128, 10, true);
    for (int i = 0; i < 50; ++i) {
      queue.BeginMessage();
      queue.CommitMessage();
    }
    platform::SleepMs(20);
  }
  EXPECT_LT(platform::TickCount() - start, 1000u);
}

TEST(SfSMFChannelTest, ScribbledHeadersNeverCrashTheServerSide) {
  const std::string name = UniqueName("Local\\OrvexChan");
  SfSMFChannel server(true, 16, 128, name);
  ASSERT_TRUE(server.IsValid());
  SfSharedMemory a;
  SfSharedMemory b;
  ASSERT_TRUE(a.OpenOrCreate(false, name + "_A", 128 * 16 + 16));
  ASSERT_TRUE(b.OpenOrCreate(false, name + "_B", 128 * 16 + 16));
  std::mt19937 random(12345);
  std::atomic<bool> done{false};
  std::thread scribbler([&] {
    while (!done) {
      SfSharedMemory& target = (random() & 1) ? a : b;
      target.view()[random() % 16] = static_cast<uint8_t>(random());
    }
  });
  for (int i = 0; i < 20000; ++i) {
    if (server.queue().pending_count() < 2000) {
      if (uint8_t* buffer = server.BeginMessage()) {
        std::memset(buffer, i, 128);
        server.CommitMessage();
      }
    }
    if (server.HasData()) {
      if (const uint8_t* slot = server.Peek()) {
        volatile uint8_t sink = slot[127];
        (void)sink;
      }
      server.Pop();
    }
  }
  done = true;
  scribbler.join();
  SUCCEED() << "broken: " << server.broken();
}

}  // namespace
}  // namespace orvex
