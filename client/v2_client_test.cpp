// A bus-side acceptor in this process and V2 clients in their own processes: the
// handshake, traffic in order both ways under load, and a client killed while it holds
// the acceptor lock.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>

#include "client/v2_client.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "tests/support/child_process.h"
#include "transport/named_event.h"
#include "transport/smf_acceptor_v2.h"

namespace orvex {
namespace {

using test::UniqueName;

constexpr uint32_t kMessage = 128;

void Fill(uint8_t* p, uint32_t seq) {
  for (uint32_t i = 0; i < kMessage; i += 4) std::memcpy(p + i, &seq, 4);
  p[4] = static_cast<uint8_t>(seq * 7);
}

bool Check(const uint8_t* p, uint32_t length, uint32_t seq) {
  uint8_t expect[kMessage];
  Fill(expect, seq);
  return length == kMessage && std::memcmp(p, expect, kMessage) == 0;
}

// Connects to bus args[0], then sends args[1] numbered messages while receiving as
// many, checking their order. Exit 0 when everything arrived intact.
ORVEX_CHILD_ROLE(v2_load_client) {
  client::V2Client c;
  if (!c.Connect(args[0], 10000)) return 2;
  const uint32_t count = static_cast<uint32_t>(std::stoul(args[1]));
  uint32_t sent = 0, received = 0;
  const uint32_t t0 = platform::TickCount();
  while (sent < count || received < count) {
    if (platform::TickCount() - t0 > 60000) return 3;
    for (int burst = 0; burst < 64 && sent < count; ++burst) {
      uint8_t* p = c.link().BeginWrite(kMessage);
      if (p == nullptr) break;
      Fill(p, sent++);
      if (!c.link().Commit()) return 4;
    }
    uint32_t length = 0;
    while (const uint8_t* p = c.link().Peek(&length)) {
      if (!Check(p, length, received++)) return 5;
      c.link().Pop();
    }
    if (c.link().IsBroken()) return 6;
  }
  // Tell the bus we are done, then linger until it has read that.
  const char done[] = "done";
  if (!c.Send(done, 4)) return 7;
  char reply[8];
  uint32_t length = 0;
  return c.Receive(reply, sizeof reply, &length, 20000) && length == 3 ? 0 : 8;
}

// Opens ".MT" of bus args[0] and holds it, sets args[1], waits to be killed.
ORVEX_CHILD_ROLE(v2_client_stuck_in_handshake) {
  SfMutex lock;
  if (!lock.Open(args[0] + ".V2.MT", true)) return 2;
  platform::EventObject* ready = MakeNamedEvent(args[1], true);
  if (ready == nullptr) return 3;
  platform::SetEvent(ready);
  platform::SleepMs(60000);
  return 0;
}

// Connects to args[0] and sends "hello"; expects "welcome" back.
ORVEX_CHILD_ROLE(v2_hello_client) {
  client::V2Client c;
  if (!c.Connect(args[0], 10000)) return 2;
  if (!c.Send("hello", 5)) return 3;
  char reply[16];
  uint32_t length = 0;
  if (!c.Receive(reply, sizeof reply, &length, 10000)) return 4;
  return length == 7 && std::memcmp(reply, "welcome", 7) == 0 ? 0 : 5;
}

// Accepts one link within `timeout_ms`, polling as the bus does.
std::unique_ptr<SfSMFLinkV2> AcceptOne(SfSMFAcceptorV2& acceptor, uint32_t timeout_ms) {
  const uint32_t t0 = platform::TickCount();
  while (platform::TickCount() - t0 < timeout_ms) {
    if (acceptor.HasRequest()) {
      if (std::unique_ptr<SfSMFLinkV2> link = acceptor.Accept()) return link;
    }
    platform::SleepMs(1);
  }
  return nullptr;
}

// Serves one hello client: answers "welcome" to "hello". Returns the child's exit code.
int ServeHello(SfSMFAcceptorV2& acceptor, const std::string& base) {
  platform::ProcessObject* child = test::SpawnChild("v2_hello_client", {base});
  if (child == nullptr) return -1;
  std::unique_ptr<SfSMFLinkV2> link = AcceptOne(acceptor, 15000);
  if (link != nullptr && link->WaitReady(10000)) {
    uint32_t length = 0;
    const uint8_t* p = link->Peek(&length);
    if (p != nullptr && length == 5 && std::memcmp(p, "hello", 5) == 0) {
      link->Pop();
      uint8_t* out = link->BeginWrite(7);
      if (out != nullptr) {
        std::memcpy(out, "welcome", 7);
        link->Commit();
      }
    }
  }
  int code = -1;
  if (!platform::WaitProcess(child, 20000, &code)) platform::KillProcess(child);
  platform::CloseProcess(child);
  return code;
}

TEST(V2ClientTest, HandshakeAndOneExchange) {
  const std::string base = UniqueName("Local\\OrvexCli");
  SfSMFAcceptorV2 acceptor;
  ASSERT_TRUE(acceptor.Construct(base + ".V2"));
  EXPECT_EQ(ServeHello(acceptor, base), 0);
}

TEST(V2ClientTest, WithoutABusConnectFailsAndLeavesNothingBehind) {
  const std::string base = UniqueName("Local\\OrvexCli");
  client::V2Client c;
  EXPECT_FALSE(c.Connect(base, 200));
  EXPECT_FALSE(c.IsConnected());
  EXPECT_FALSE(client::V2Client::PostRequest(base, 5, 100));
}

TEST(V2ClientTest, ABusThatNeverAnswersTimesOutAndTheClientCleansUp) {
  const std::string base = UniqueName("Local\\OrvexCli");
  SfSMFAcceptorV2 acceptor;
  ASSERT_TRUE(acceptor.Construct(base + ".V2"));
  client::V2Client c;
  const uint32_t t0 = platform::TickCount();
  EXPECT_FALSE(c.Connect(base, 300));
  EXPECT_GE(platform::TickCount() - t0, 280u);
  EXPECT_TRUE(acceptor.HasRequest());  // the request was posted
  EXPECT_EQ(c.link_name(), "");
}

TEST(V2ClientTest, RequestValuesAreNonZeroAndDistinct) {
  std::set<uint32_t> seen;
  for (int i = 0; i < 1024; ++i) {
    const uint32_t v = client::NextRequestValue();
    EXPECT_NE(v, 0u);
    seen.insert(v);
  }
  EXPECT_EQ(seen.size(), 1024u);
}

TEST(V2ClientTest, ARequestRingThatIsFullRefusesMorePosts) {
  const std::string base = UniqueName("Local\\OrvexCli");
  SfSMFAcceptorV2 acceptor;
  ASSERT_TRUE(acceptor.Construct(base + ".V2"));
  for (uint32_t i = 0; i < acceptor.slot_count(); ++i) {
    ASSERT_TRUE(client::V2Client::PostRequest(base, 0, 1000)) << i;
  }
  EXPECT_FALSE(client::V2Client::PostRequest(base, 0, 1000));
  EXPECT_EQ(acceptor.Accept(), nullptr);  // consumes one zero
  EXPECT_TRUE(client::V2Client::PostRequest(base, 0, 1000));
}

TEST(V2ClientTest, MessagesStayInOrderBothWaysUnderLoad) {
  const std::string base = UniqueName("Local\\OrvexCli");
  SfSMFAcceptorV2 acceptor;
  ASSERT_TRUE(acceptor.Construct(base + ".V2"));
  constexpr uint32_t kCount = 200000;
  platform::ProcessObject* child =
      test::SpawnChild("v2_load_client", {base, std::to_string(kCount)});
  ASSERT_NE(child, nullptr);
  std::unique_ptr<SfSMFLinkV2> link = AcceptOne(acceptor, 15000);
  ASSERT_NE(link, nullptr);
  uint32_t sent = 0, received = 0;
  bool done = false, intact = true;
  const uint32_t t0 = platform::TickCount();
  while ((sent < kCount || !done) && intact && platform::TickCount() - t0 < 60000) {
    for (int burst = 0; burst < 64 && sent < kCount; ++burst) {
      uint8_t* p = link->BeginWrite(kMessage);
      if (p == nullptr) break;
      Fill(p, sent++);
      ASSERT_TRUE(link->Commit());
    }
    uint32_t length = 0;
    while (const uint8_t* p = link->Peek(&length)) {
      if (received == kCount) {
        done = length == 4 && std::memcmp(p, "done", 4) == 0;
        intact = done;
      } else {
        intact = Check(p, length, received++);
      }
      link->Pop();
    }
  }
  EXPECT_TRUE(intact) << "at " << received;
  EXPECT_EQ(received, kCount);
  EXPECT_TRUE(done);
  EXPECT_FALSE(link->IsBroken());
  uint8_t* p = link->BeginWrite(3);
  ASSERT_NE(p, nullptr);
  std::memcpy(p, "bye", 3);
  ASSERT_TRUE(link->Commit());
  int code = -1;
  EXPECT_TRUE(platform::WaitProcess(child, 30000, &code));
  EXPECT_EQ(code, 0);
  platform::CloseProcess(child);
}

TEST(V2ClientTest, AClientKilledHoldingTheLockDoesNotBlockTheNext) {
  const std::string base = UniqueName("Local\\OrvexCli");
  SfSMFAcceptorV2 acceptor;
  ASSERT_TRUE(acceptor.Construct(base + ".V2"));
  const std::string ready_name = UniqueName("Local\\OrvexCliReady");
  platform::EventObject* ready = MakeNamedEvent(ready_name, false);
  platform::ProcessObject* stuck =
      test::SpawnChild("v2_client_stuck_in_handshake", {base, ready_name});
  ASSERT_NE(stuck, nullptr);
  ASSERT_EQ(platform::WaitEvent(ready, 20000), platform::WaitResult::kSignalled);
  platform::CloseEvent(ready);
  EXPECT_FALSE(acceptor.HasRequest());
  EXPECT_TRUE(platform::KillProcess(stuck));
  int code = 0;
  EXPECT_TRUE(platform::WaitProcess(stuck, 10000, &code));
  platform::CloseProcess(stuck);
  EXPECT_EQ(ServeHello(acceptor, base), 0);
}

}  // namespace
}  // namespace orvex
