// The classic handshake with the acceptor here and clients in their own processes,
// including clients that die in the middle of it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "client/classic_client.h"
#include "platform/clock.h"
#include "platform/test_hooks.h"
#include "platform/thread.h"
#include "tests/support/child_process.h"
#include "transport/named_event.h"
#include "transport/sf_shared_memory.h"
#include "transport/smf_acceptor.h"
#include "transport/smf_channel.h"

namespace orvex {
namespace {

using test::UniqueName;

ORVEX_CHILD_ROLE(classic_echo) {
  client::ClassicClient c;
  const auto result =
      c.Connect(args[0], std::stoul(args[1]), std::stoul(args[2]), std::stoul(args[3]), 10000);
  if (result == client::ClassicResult::kRefused) return 20;
  if (result != client::ClassicResult::kConnected) return 10 + static_cast<int>(result);
  std::printf("%u %u\n", c.slot_size(), c.slot_count());
  const uint32_t count = std::stoul(args[4]);
  std::vector<uint8_t> slot(c.slot_size());
  for (uint32_t i = 0; i < count; ++i) {
    if (!c.Receive(slot.data(), 10000)) return 3;
    uint32_t got;
    std::memcpy(&got, slot.data(), 4);
    if (got != i) return 4;
    const uint32_t reply = i * 3;
    while (!c.Send(&reply, 4)) platform::SleepMs(1);
  }
  // The granted geometry is the exit code's last check.
  return (c.slot_size() == std::stoul(args[5]) && c.slot_count() == std::stoul(args[6])) ? 0 : 5;
}

// Serves the acceptor until `child` ends; returns the channel it accepted.
std::unique_ptr<SfSMFChannel> AcceptOne(SfSMFAcceptor& acceptor, uint32_t timeout_ms = 10000) {
  const uint32_t start = platform::TickCount();
  while (platform::TickCount() - start < timeout_ms) {
    if (auto channel = acceptor.Accept(128, 1000)) return channel;
    platform::SleepMs(1);
  }
  return nullptr;
}

void EchoRoundTrips(SfSMFChannel& channel, uint32_t count) {
  uint32_t sent = 0;
  uint32_t received = 0;
  while (received < count) {
    // Keep a bounded window in flight both ways.
    while (sent < count && sent - received < 200) {
      uint8_t* buffer = channel.BeginMessage();
      ASSERT_NE(buffer, nullptr);
      std::memcpy(buffer, &sent, 4);
      ASSERT_TRUE(channel.CommitMessage());
      ++sent;
    }
    ASSERT_TRUE(channel.WaitData(3000))
        << received << " sent " << sent << " pending " << channel.queue().pending_count()
        << " broken " << channel.broken() << " inHas " << channel.HasData();
    uint32_t got;
    std::memcpy(&got, channel.Peek(), 4);
    ASSERT_EQ(got, received * 3);
    channel.Pop();
    ++received;
  }
}

TEST(SfSMFAcceptorTest, NegotiatesSlotsAndCarriesMessagesInOrderBothWays) {
  const std::string base = UniqueName("Local\\OrvexBus");
  SfSMFAcceptor acceptor(base, true);
  ASSERT_TRUE(acceptor.IsValid());
  struct Case {
    uint32_t size, count, granted_size, granted_count, messages;
  };
  // The last two cases: more slots than a ring may take in bytes get fewer slots; the
  // largest slot the bus's outgoing queue can carry.
  for (const Case c : {Case{100, 50, 128, 1000, 5000}, Case{130, 5000, 136, 5000, 20000},
                       Case{128, 100000, 128, 32768, 1000}, Case{65513, 10, 65520, 64, 50}}) {
    platform::ProcessObject* child = test::SpawnChild(
        "classic_echo",
        {base, "6700", std::to_string(c.size), std::to_string(c.count), std::to_string(c.messages),
         std::to_string(c.granted_size), std::to_string(c.granted_count)});
    ASSERT_NE(child, nullptr);
    auto channel = AcceptOne(acceptor);
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(channel->slot_size(), c.granted_size);
    EXPECT_EQ(channel->slot_count(), c.granted_count);
    EXPECT_EQ(channel->name().rfind(base + "_1A2C_", 0), 0u) << channel->name();
    EchoRoundTrips(*channel, c.messages);
    int code = -1;
    EXPECT_TRUE(platform::WaitProcess(child, 20000, &code));
    EXPECT_EQ(code, 0);
    platform::CloseProcess(child);
  }
}

TEST(SfSMFAcceptorTest, AChannelThatCannotBeBuiltIsRefusedWithNameLengthZero) {
  const std::string base = UniqueName("Local\\OrvexBus");
  SfSMFAcceptor acceptor(base, true);
  ASSERT_TRUE(acceptor.IsValid());
  // Slots above 65520 bytes fit no queue item (the bus could never answer on such a
  // link), 268416 bytes also still fit the ring size limit, and 0x7FFFFFF8 cannot be
  // mapped at all: each client is told no.
  for (const uint32_t size : {65521u, 65528u, 268416u, 0x7FFFFFF8u}) {
    platform::ProcessObject* child =
        test::SpawnChild("classic_echo", {base, "1", std::to_string(size), "1000", "0", "0", "0"});
    ASSERT_NE(child, nullptr);
    const uint32_t start = platform::TickCount();
    int code = -1;
    while (!platform::WaitProcess(child, 0, &code) && platform::TickCount() - start < 20000) {
      EXPECT_EQ(acceptor.Accept(128, 1000), nullptr) << size;
      platform::SleepMs(1);
    }
    EXPECT_EQ(code, 20) << size;
    platform::CloseProcess(child);
  }
}

// Takes one acceptor mutex and dies there (killed by the parent).
ORVEX_CHILD_ROLE(die_holding) {
  SfMutex mutex;
  if (!mutex.Open(args[0], true)) return 2;
  platform::EventObject* ready = MakeNamedEvent(args[1], true);
  platform::SetEvent(ready);
  platform::SleepMs(60000);
  return 0;
}

TEST(SfSMFAcceptorTest, AClientKilledInTheHandshakeDoesNotBlockTheNext) {
  const std::string base = UniqueName("Local\\OrvexBus");
  SfSMFAcceptor acceptor(base, true);
  ASSERT_TRUE(acceptor.IsValid());
  for (const char* suffix : {"_MTRQ", "_MTRP"}) {
    const std::string ready_name = UniqueName("Local\\OrvexReady");
    platform::EventObject* ready = MakeNamedEvent(ready_name, false);
    platform::ProcessObject* dying = test::SpawnChild("die_holding", {base + suffix, ready_name});
    ASSERT_EQ(platform::WaitEvent(ready, 20000), platform::WaitResult::kSignalled);
    platform::CloseEvent(ready);
    ASSERT_TRUE(platform::KillProcess(dying));
    platform::CloseProcess(dying);

    platform::ProcessObject* next =
        test::SpawnChild("classic_echo", {base, "2", "128", "1000", "10", "128", "1000"});
    auto channel = AcceptOne(acceptor);
    ASSERT_NE(channel, nullptr) << suffix;
    EchoRoundTrips(*channel, 10);
    int code = -1;
    EXPECT_TRUE(platform::WaitProcess(next, 20000, &code));
    EXPECT_EQ(code, 0) << suffix;
    platform::CloseProcess(next);
  }
}

// Components inside one process may all use its process id as their word; two of them
// accepted within one tick must still get rings of their own.
TEST(SfSMFAcceptorTest, ClientsWithTheSameWordInOneTickGetChannelsOfTheirOwn) {
  const std::string base = UniqueName("Local\\OrvexBus");
  SfSMFAcceptor acceptor(base, true);
  ASSERT_TRUE(acceptor.IsValid());
  platform::SetTickOffsetForTesting(0);
  client::ClassicClient first;
  client::ClassicClient second;
  std::thread connect_first([&] { first.Connect(base, 0x5EED, 128, 1000, 20000); });
  auto channel_a = AcceptOne(acceptor);
  connect_first.join();
  ASSERT_NE(channel_a, nullptr);
  ASSERT_TRUE(first.connected());
  const std::string prefix = base + "_5EED_";
  ASSERT_EQ(channel_a->name().rfind(prefix, 0), 0u) << channel_a->name();
  const uint32_t tick_a =
      static_cast<uint32_t>(std::strtoul(channel_a->name().c_str() + prefix.size(), nullptr, 16));

  // The clock is put back to the first acceptance for the second one. The ticks that may
  // pass before the acceptor reads it are held by further channels of the same word.
  constexpr uint32_t kWindow = 200;
  std::vector<std::unique_ptr<SfSharedMemory>> held;
  std::set<std::string> taken = {channel_a->name()};
  for (uint32_t k = 1; k <= kWindow; ++k) {
    char name[128];
    std::snprintf(name, sizeof name, "%s%X", prefix.c_str(), tick_a + k);
    held.push_back(std::make_unique<SfSharedMemory>());
    ASSERT_TRUE(held.back()->OpenOrCreate(true, std::string(name) + "_B", 16 + 128 * 1000));
    taken.insert(name);
  }
  std::thread connect_second([&] { second.Connect(base, 0x5EED, 128, 1000, 20000); });
  const uint32_t start = platform::TickCount();
  while (!acceptor.HasRequest() && platform::TickCount() - start < 20000) platform::SleepMs(1);
  platform::SetTickOffsetForTesting(tick_a - platform::TickCount());
  auto channel_b = acceptor.Accept(128, 1000);
  const uint32_t after = platform::TickCount();
  platform::SetTickOffsetForTesting(0);
  connect_second.join();
  ASSERT_LE(after - tick_a, kWindow) << "the acceptance came too late to share a tick";
  ASSERT_NE(channel_b, nullptr);
  EXPECT_EQ(taken.count(channel_b->name()), 0u) << channel_b->name();
  ASSERT_TRUE(second.connected());
  EXPECT_EQ(second.channel_name(), channel_b->name());

  // Each client reads only what was sent to it.
  uint32_t values[] = {1, 2};
  SfSMFChannel* channels[] = {channel_a.get(), channel_b.get()};
  for (int i = 0; i < 2; ++i) {
    uint8_t* buffer = channels[i]->BeginMessage();
    ASSERT_NE(buffer, nullptr);
    std::memcpy(buffer, &values[i], 4);
    ASSERT_TRUE(channels[i]->CommitMessage());
  }
  client::ClassicClient* clients[] = {&first, &second};
  for (int i = 0; i < 2; ++i) {
    std::vector<uint8_t> slot(128);
    ASSERT_TRUE(clients[i]->Receive(slot.data(), 10000)) << i;
    uint32_t got = 0;
    std::memcpy(&got, slot.data(), 4);
    EXPECT_EQ(got, values[i]);
    EXPECT_FALSE(clients[i]->Receive(slot.data(), 200)) << i;
  }
}

// A loaded machine may not run a new pump thread for seconds. The link works all the
// same (what is committed meanwhile waits for the pump), so neither the bus's side nor
// the client's may give it up for that.
TEST(SfSMFAcceptorTest, PumpsSlowToStartFailNoHandshakeAndLoseNoMessage) {
  const std::string base = UniqueName("Local\\OrvexBus");
  SfSMFAcceptor acceptor(base, true);
  ASSERT_TRUE(acceptor.IsValid());
  platform::SetThreadStartDelayForTesting(1500);
  client::ClassicClient client;
  client::ClassicResult result = client::ClassicResult::kNoBus;
  std::thread connect([&] { result = client.Connect(base, 0x51, 128, 1000, 20000); });
  auto channel = AcceptOne(acceptor);
  connect.join();
  platform::SetThreadStartDelayForTesting(0);
  ASSERT_NE(channel, nullptr);
  ASSERT_EQ(result, client::ClassicResult::kConnected);
  // Both pumps may still be asleep: each side commits before the other reads.
  const uint32_t down = 0xD0, up = 0x0D;
  uint8_t* buffer = channel->BeginMessage();
  ASSERT_NE(buffer, nullptr);
  std::memcpy(buffer, &down, 4);
  ASSERT_TRUE(channel->CommitMessage());
  ASSERT_TRUE(client.Send(&up, 4));
  std::vector<uint8_t> slot(128);
  ASSERT_TRUE(client.Receive(slot.data(), 10000));
  uint32_t got = 0;
  std::memcpy(&got, slot.data(), 4);
  EXPECT_EQ(got, down);
  ASSERT_TRUE(channel->WaitData(10000));
  std::memcpy(&got, channel->Peek(), 4);
  EXPECT_EQ(got, up);
}

}  // namespace
}  // namespace orvex
