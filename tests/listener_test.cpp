// The bus's listener with real clients of both kinds in their own processes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "client/classic_client.h"
#include "client/v2_client.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "tests/support/child_process.h"
#include "transport/sf_mutex.h"
#include "transport/sf_shared_memory.h"
#include "transport/smf_listener.h"
#include "transport/smf_segments.h"

namespace orvex {
namespace {

using test::UniqueName;

// Connects with the kind named in args[1], sends "ping", expects "pong" back.
ORVEX_CHILD_ROLE(ping_client) {
  char reply[128] = {};
  if (args[1] == "classic") {
    client::ClassicClient c;
    if (c.Connect(args[0], 7, 128, 1000, 10000) != client::ClassicResult::kConnected) return 2;
    if (!c.Send("ping", 5)) return 3;
    uint8_t slot[128];
    if (!c.Receive(slot, 10000)) return 4;
    std::memcpy(reply, slot, sizeof reply);
  } else {
    client::V2Client c;
    if (!c.Connect(args[0], 10000)) return 2;
    if (!c.Send("ping", 5)) return 3;
    uint32_t length = 0;
    if (!c.Receive(reply, sizeof reply, &length, 10000)) return 4;
  }
  return std::strcmp(reply, "pong") == 0 ? 0 : 5;
}

// Builds a second listener on the same base while the parent's holds it.
ORVEX_CHILD_ROLE(second_listener) {
  SfSMFListener listener(args[0]);
  return (listener.IsValid() ? 1 : 0) + (listener.serves_v2() ? 2 : 0);
}

void ServePing(SfSMFListener& listener, const char* kind) {
  platform::ProcessObject* child =
      test::SpawnChild("ping_client", {listener.base(), std::string(kind)});
  ASSERT_NE(child, nullptr);
  std::unique_ptr<SfSMFConnection> connection;
  const uint32_t start = platform::TickCount();
  while (connection == nullptr && platform::TickCount() - start < 10000) {
    connection = listener.AcceptNext();
    platform::SleepMs(1);
  }
  ASSERT_NE(connection, nullptr) << kind;
  EXPECT_EQ(connection->is_v2(), std::string(kind) == "v2");
  EXPECT_TRUE(connection->IsValid());
  const uint8_t* message = nullptr;
  while (message == nullptr && platform::TickCount() - start < 10000) {
    message = connection->PeekIncoming();
    if (message == nullptr) platform::SleepMs(1);
  }
  ASSERT_NE(message, nullptr);
  EXPECT_STREQ(reinterpret_cast<const char*>(message), "ping");
  EXPECT_EQ(connection->IncomingLength(), std::string(kind) == "v2" ? 5u : 128u);
  connection->PopIncoming();
  uint8_t* out = connection->BeginOutgoing(5);
  ASSERT_NE(out, nullptr);
  std::memcpy(out, "pong", 5);
  EXPECT_TRUE(connection->CommitOutgoing());
  int code = -1;
  EXPECT_TRUE(platform::WaitProcess(child, 20000, &code));
  EXPECT_EQ(code, 0) << kind;
  platform::CloseProcess(child);
}

TEST(SfSMFListenerTest, AcceptsBothKindsAndCarriesMessagesThroughTheConnection) {
  SfSMFListener listener(UniqueName("Local\\OrvexBus"));
  ASSERT_TRUE(listener.IsValid());
  ASSERT_TRUE(listener.serves_v2());
  ServePing(listener, "classic");
  ServePing(listener, "v2");
  EXPECT_EQ(listener.AcceptNext(), nullptr);  // nothing pending
}

TEST(SfSMFListenerTest, ASecondBusServesClassicOnly) {
  const std::string base = UniqueName("Local\\OrvexBus");
  SfSMFListener first(base);
  ASSERT_TRUE(first.serves_v2());
  const uint32_t start = platform::TickCount();
  EXPECT_EQ(test::RunChild("second_listener", {base}), 1);  // classic yes, V2 no
  EXPECT_GE(platform::TickCount() - start, 450u);           // it tried for 500 ms
  EXPECT_TRUE(first.serves_v2());
}

// With clients of both kinds waiting, the two acceptors take turns: a classic request
// that is always posted again (a stream of classic clients) cannot keep the V2 queue
// waiting, as it did when classic requests always went first.
TEST(SfSMFListenerTest, WaitingClientsOfBothKindsTakeTurns) {
  SfSMFListener listener(UniqueName("Local\\OrvexFair"));
  ASSERT_TRUE(listener.IsValid() && listener.serves_v2());
  const std::string v2 = listener.base() + ".V2";
  SfSharedMemory header;
  SfMutex lock;
  ASSERT_TRUE(header.OpenOrCreate(false, v2, smf_acceptor::kDefaultSize));
  ASSERT_TRUE(lock.Open(v2 + ".MT", false));
  ASSERT_TRUE(lock.Acquire(5000));
  for (uint32_t value = 0x7D000001u; value <= 0x7D000003u; ++value) {
    const uint32_t write = shm::Load(header.view(), smf_acceptor::kWriteCounter);
    const uint32_t slots = shm::Load(header.view(), smf_acceptor::kSlotCount);
    shm::Store(header.view(), smf_acceptor::kSlots + (write % slots) * 4, value);
    shm::Store(header.view(), smf_acceptor::kWriteCounter, write + 1);
  }
  lock.Release();
  platform::EventObject* classic = platform::OpenNamedEvent(listener.base() + "_EVRQ");
  ASSERT_NE(classic, nullptr);
  std::string kinds;
  std::vector<std::unique_ptr<SfSMFConnection>> made;
  for (int i = 0; i < 6; ++i) {
    if (i < 4) platform::SetEvent(classic);  // the next classic client posts at once
    made.push_back(listener.AcceptNext());
    ASSERT_NE(made.back(), nullptr) << kinds;
    kinds += made.back()->is_v2() ? 'V' : 'C';
  }
  EXPECT_EQ(kinds, "CVCVCV");
  platform::CloseEvent(classic);
}

}  // namespace
}  // namespace orvex
