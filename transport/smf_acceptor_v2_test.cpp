// The bus's side of the V2 handshake with clients and rival buses in other processes:
// ownership, request values, header size adoption, an abandoned acceptor lock, and a
// header that a client rewrote, and waiting clients killed before the bus ends.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/thread.h"
#include "tests/support/child_process.h"
#include "tests/support/object_files.h"
#include "transport/named_event.h"
#include "transport/smf_acceptor_v2.h"

namespace orvex {
namespace {

namespace acc = smf_acceptor;
using test::UniqueName;

// Posts request value `value` to acceptor `name` as a client does: under ".MT", into
// slot (write counter mod slot count), then counts the write. 0 when posted.
int PostValue(const std::string& name, uint32_t value) {
  SfSharedMemory header;
  SfMutex lock;
  if (!header.OpenOrCreate(false, name, 4096) || !lock.Open(name + ".MT", false)) return 2;
  if (!lock.Acquire(5000)) return 3;
  const uint32_t slots = shm::Load(header.view(), acc::kSlotCount);
  const uint32_t write = shm::Load(header.view(), acc::kWriteCounter);
  if (slots == 0 || slots > (4096 - acc::kSlots) / 4) return 4;
  if (write - shm::Load(header.view(), acc::kReadCounter) >= slots) return 5;  // no room
  shm::Store(header.view(), acc::kSlots + (write % slots) * 4, value);
  shm::Store(header.view(), acc::kWriteCounter, write + 1);
  lock.Release();
  return 0;
}

ORVEX_CHILD_ROLE(v2_post_value) {
  return PostValue(args[0], static_cast<uint32_t>(std::stoul(args[1])));
}

// A client waiting for a place: starts link args[0].<args[2]> as a client does, posts
// value args[2], sets event args[1] and waits to be killed.
ORVEX_CHILD_ROLE(v2_wait_for_place) {
  SfSMFLinkV2 link;
  if (!link.Connect(args[0] + "." + args[2], 1)) return 2;
  const int posted = PostValue(args[0], static_cast<uint32_t>(std::stoul(args[2])));
  if (posted != 0) return posted;
  platform::EventObject* ready = MakeNamedEvent(args[1], true);
  if (ready == nullptr) return 6;
  platform::SetEvent(ready);
  platform::SleepMs(60000);
  return 0;
}

// Serves acceptor args[0] until killed; sets event args[1] once it owns the name.
ORVEX_CHILD_ROLE(v2_rival_bus) {
  SfSMFAcceptorV2 acceptor;
  if (!acceptor.Construct(args[0])) return 2;
  platform::EventObject* ready = MakeNamedEvent(args[1], true);
  if (ready == nullptr) return 3;
  platform::SetEvent(ready);
  platform::SleepMs(60000);
  return 0;
}

// Takes ".MT" of acceptor args[0], sets event args[1] and waits to be killed.
ORVEX_CHILD_ROLE(v2_hold_lock) {
  SfMutex lock;
  if (!lock.Open(args[0] + ".MT", true)) return 2;
  platform::EventObject* ready = MakeNamedEvent(args[1], true);
  if (ready == nullptr) return 3;
  platform::SetEvent(ready);
  platform::SleepMs(60000);
  return 0;
}

platform::ProcessObject* StartAndWait(const char* role, const std::string& name,
                                      const std::string& extra = "") {
  const std::string ready_name = UniqueName("Local\\OrvexV2Ready");
  platform::EventObject* ready = MakeNamedEvent(ready_name, false);
  std::vector<std::string> args{name, ready_name};
  if (!extra.empty()) args.push_back(extra);
  platform::ProcessObject* child = test::SpawnChild(role, args);
  const bool ok =
      child != nullptr && platform::WaitEvent(ready, 20000) == platform::WaitResult::kSignalled;
  platform::CloseEvent(ready);
  if (!ok && child != nullptr) {
    platform::KillProcess(child);
    platform::CloseProcess(child);
    return nullptr;
  }
  return child;
}

void Kill(platform::ProcessObject* child) {
  EXPECT_TRUE(platform::KillProcess(child));
  int code = 0;
  EXPECT_TRUE(platform::WaitProcess(child, 10000, &code));
  platform::CloseProcess(child);
}

int Post(const std::string& name, uint32_t value) {
  return test::RunChild("v2_post_value", {name, std::to_string(value)});
}

TEST(SfSMFAcceptorV2Test, WritesAFreshHeader) {
  const std::string name = UniqueName("Local\\OrvexAcc") + ".V2";
  SfSMFAcceptorV2 acceptor;
  ASSERT_TRUE(acceptor.Construct(name));
  EXPECT_TRUE(acceptor.IsValid());
  EXPECT_EQ(acceptor.slot_count(), 1000u);
  SfSharedMemory view;
  ASSERT_TRUE(view.OpenOrCreate(false, name, 4096));
  uint8_t* h = view.view();
  EXPECT_EQ(shm::Load(h, acc::kSize), 4096u);
  EXPECT_EQ(shm::Load(h, acc::kSlotOffset), 96u);
  EXPECT_EQ(shm::Load(h, acc::kSlotCount), 1000u);
  EXPECT_EQ(shm::Load(h, acc::kReadCounter), 0u);
  EXPECT_EQ(shm::Load(h, acc::kWriteCounter), 0u);
  EXPECT_EQ(shm::Load(h, acc::kProcessId), platform::CurrentProcessId());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(h + acc::kName)), name);
  EXPECT_FALSE(acceptor.HasRequest());
  EXPECT_EQ(acceptor.Accept(), nullptr);
}

TEST(SfSMFAcceptorV2Test, ZeroIsConsumedWithoutALinkAndAValueBecomesOne) {
  const std::string name = UniqueName("Local\\OrvexAcc") + ".V2";
  SfSMFAcceptorV2 acceptor;
  ASSERT_TRUE(acceptor.Construct(name));
  ASSERT_EQ(Post(name, 0), 0);
  EXPECT_TRUE(acceptor.HasRequest());
  EXPECT_EQ(acceptor.Accept(), nullptr);
  EXPECT_FALSE(acceptor.HasRequest());
  ASSERT_EQ(Post(name, 7), 0);
  ASSERT_TRUE(acceptor.HasRequest());
  std::unique_ptr<SfSMFLinkV2> link = acceptor.Accept();
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->side(), 0);
  EXPECT_TRUE(NameExists(name + ".7.S.0"));
  EXPECT_FALSE(acceptor.HasRequest());
  // The same value again: its name is in use, so the request is consumed for nothing.
  ASSERT_EQ(Post(name, 7), 0);
  EXPECT_EQ(acceptor.Accept(), nullptr);
  EXPECT_FALSE(acceptor.HasRequest());
}

// A bus that ends with clients still waiting for a place: the first segment of one
// killed meanwhile goes with the bus; a live one's stays for its owner.
TEST(SfSMFAcceptorV2Test, EndingRemovesTheFirstSegmentsOfKilledWaitingClientsOnly) {
  const std::string name = UniqueName("Local\\OrvexAcc") + ".V2";
  auto acceptor = std::make_unique<SfSMFAcceptorV2>();
  ASSERT_TRUE(acceptor->Construct(name));
  platform::ProcessObject* killed = StartAndWait("v2_wait_for_place", name, "21");
  ASSERT_NE(killed, nullptr);
  Kill(killed);
  SfSMFLinkV2 alive;
  ASSERT_TRUE(alive.Connect(name + ".22", 1));
  ASSERT_EQ(Post(name, 22), 0);
  ASSERT_EQ(Post(name, 0), 0);
#ifndef _WIN32
  EXPECT_TRUE(test::MappingLeft(name + ".21.C.0"));  // a kernel object would be gone now
#endif
  acceptor.reset();
  EXPECT_FALSE(test::MappingLeft(name + ".21.C.0"));
  EXPECT_TRUE(test::MappingLeft(name + ".22.C.0"));
}

TEST(SfSMFAcceptorV2Test, ASecondBusCannotTakeTheNameUntilTheFirstDies) {
  const std::string name = UniqueName("Local\\OrvexAcc") + ".V2";
  platform::ProcessObject* rival = StartAndWait("v2_rival_bus", name);
  ASSERT_NE(rival, nullptr);
  SfSMFAcceptorV2 acceptor;
  const uint32_t t0 = platform::TickCount();
  EXPECT_FALSE(acceptor.Construct(name));
  const uint32_t waited = platform::TickCount() - t0;
  EXPECT_GE(waited, 450u);
  EXPECT_LT(waited, 5000u);
  EXPECT_FALSE(acceptor.IsValid());
  EXPECT_FALSE(acceptor.HasRequest());
  Kill(rival);
  ASSERT_TRUE(acceptor.Construct(name));  // abandoned: the next bus takes over
  EXPECT_TRUE(acceptor.OwnsName());
}

TEST(SfSMFAcceptorV2Test, RecordedSizeIsAdoptedAndSlotCountFollows) {
  struct Case {
    uint32_t object_size;
    uint32_t recorded;
    uint32_t expect_size;
  };
  const Case cases[] = {
      {8192, 8192, 8192},      // larger header from an earlier bus
      {4096, 2050, 2048},      // smaller, low bits cleared
      {4096, 1u << 30, 4096},  // claims more than exists: keep what is mapped
      {4096, 40, 4096},        // too small for one slot
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.recorded);
    const std::string name = UniqueName("Local\\OrvexAcc") + ".V2";
    SfSharedMemory earlier;
    ASSERT_TRUE(earlier.OpenOrCreate(true, name, c.object_size));
    shm::Store(earlier.view(), acc::kSize, c.recorded);
    SfSMFAcceptorV2 acceptor;
    ASSERT_TRUE(acceptor.Construct(name));
    EXPECT_EQ(acceptor.size(), c.expect_size);
    EXPECT_EQ(acceptor.slot_count(), (c.expect_size - 96) / 4);
    EXPECT_EQ(shm::Load(earlier.view(), acc::kSize), c.expect_size);
    EXPECT_EQ(shm::Load(earlier.view(), acc::kSlotCount), (c.expect_size - 96) / 4);
  }
}

TEST(SfSMFAcceptorV2Test, AKilledClientHoldingTheLockDoesNotBlockTheNext) {
  const std::string name = UniqueName("Local\\OrvexAcc") + ".V2";
  SfSMFAcceptorV2 acceptor;
  ASSERT_TRUE(acceptor.Construct(name));
  platform::ProcessObject* holder = StartAndWait("v2_hold_lock", name);
  ASSERT_NE(holder, nullptr);
  EXPECT_FALSE(acceptor.HasRequest());  // held: gives up after a short wait
  Kill(holder);
  ASSERT_EQ(Post(name, 11), 0);
  EXPECT_TRUE(acceptor.HasRequest());
  EXPECT_NE(acceptor.Accept(), nullptr);
}

// A bus's acceptor and a peer's view of its header.
class SfSMFAcceptorV2HardeningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(acceptor.Construct(name));
    ASSERT_TRUE(view.OpenOrCreate(false, name, 4096));
    h = view.view();
  }
  const std::string name = UniqueName("Local\\OrvexAcc") + ".V2";
  SfSMFAcceptorV2 acceptor;
  SfSharedMemory view;
  uint8_t* h = nullptr;
};

// Counters and slot count rewritten by a client: the slot read is always one of ours.
TEST_F(SfSMFAcceptorV2HardeningTest, RewrittenHeaderWordsStayInsideTheSlots) {
  shm::Store(h, acc::kSize, 0xFFFFFFFFu);
  shm::Store(h, acc::kSlotCount, 0xFFFFFFFFu);
  shm::Store(h, acc::kSlotOffset, 0x7FFFFFF0u);
  shm::Store(h, acc::kReadCounter, 0xFFFFFFFEu);  // slot 0xFFFFFFFE % 1000 = 294
  shm::Store(h, acc::kWriteCounter, 2);
  shm::Store(h, acc::kSlots + 294 * 4, 0);
  shm::Store(h, acc::kSlots + 295 * 4, 21);
  std::memset(h + acc::kName, 'x', 64);  // the recorded name is not used for links
  EXPECT_TRUE(acceptor.HasRequest());
  EXPECT_EQ(acceptor.Accept(), nullptr);  // value 0
  std::unique_ptr<SfSMFLinkV2> link = acceptor.Accept();
  ASSERT_NE(link, nullptr);
  EXPECT_TRUE(NameExists(name + ".21.S.0"));
  for (int i = 0; i < 10; ++i) acceptor.Accept();  // read counter wraps past 0
  EXPECT_EQ(shm::Load(h, acc::kReadCounter), 2u);
  EXPECT_FALSE(acceptor.HasRequest());
}

// A peer that zeroes the slot count (or sets the counters so that the queue looks
// full) locks every new client out: the bus's words come back with its next heartbeat
// (Repair), counters left apart with the next Accept. The per-pass look writes nothing.
TEST_F(SfSMFAcceptorV2HardeningTest, ScribbledHeaderIsRepairedAtTheNextHeartbeat) {
  const uint32_t tick = shm::Load(h, acc::kTick);
  std::string header_before(reinterpret_cast<char*>(h), acc::kSlots);
  shm::Store(h, acc::kSlotCount, 0);
  shm::Store(h, acc::kSize, 0);
  shm::Store(h, acc::kSlotOffset, 0);
  shm::Store(h, acc::kProcessId, 1);
  shm::Store(h, acc::kTick, tick + 1);
  std::memset(h + acc::kName, 0, 64);
  ASSERT_EQ(Post(name, 3), 4);  // locked out
  EXPECT_FALSE(acceptor.HasRequest());
  EXPECT_EQ(shm::Load(h, acc::kSlotCount), 0u);
  acceptor.Repair();
  EXPECT_EQ(std::string(reinterpret_cast<char*>(h), acc::kSlots), header_before);
  ASSERT_EQ(Post(name, 3), 0);
  EXPECT_NE(acceptor.Accept(), nullptr);

  // Counters that say the queue is more than full: the queue is discarded.
  shm::Store(h, acc::kReadCounter, 50);
  shm::Store(h, acc::kWriteCounter, 49);
  ASSERT_EQ(Post(name, 4), 5);  // no room
  EXPECT_TRUE(acceptor.HasRequest());
  EXPECT_EQ(acceptor.Accept(), nullptr);
  EXPECT_EQ(shm::Load(h, acc::kReadCounter), 49u);
  EXPECT_FALSE(acceptor.HasRequest());
  ASSERT_EQ(Post(name, 4), 0);
  ASSERT_TRUE(acceptor.HasRequest());
  std::unique_ptr<SfSMFLinkV2> link = acceptor.Accept();
  EXPECT_NE(link, nullptr);
  EXPECT_TRUE(NameExists(name + ".4.S.0"));
}

TEST(SfSMFAcceptorV2Test, LongNamesAreRecordedAndUsedTruncated) {
  const std::string name = UniqueName("Local\\OrvexAcc") + std::string(70, 'L') + ".V2";
  SfSMFAcceptorV2 acceptor;
  ASSERT_TRUE(acceptor.Construct(name));
  ASSERT_EQ(Post(name, 5), 0);
  std::unique_ptr<SfSMFLinkV2> link = acceptor.Accept();
  ASSERT_NE(link, nullptr);
  EXPECT_TRUE(NameExists(name.substr(0, 63) + ".5.S.0"));
}

}  // namespace
}  // namespace orvex
