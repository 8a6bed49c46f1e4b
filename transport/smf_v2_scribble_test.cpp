// A hostile peer scribbles random words over a live V2 link's segment headers and
// records and over the acceptor header, while the server end keeps accepting, polling,
// reading and writing. Whatever is written, the server must neither crash nor touch
// memory outside its mappings (run under ASan as well).
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "tests/support/child_process.h"
#include "transport/smf_acceptor_v2.h"

namespace orvex {
namespace {

namespace acc = smf_acceptor;
namespace seg = smf_segment;

struct Target {
  std::unique_ptr<SfSharedMemory> memory;
  uint32_t span;  // bytes the scribbler may hit
};

void Scribble(std::vector<Target>& targets, std::atomic<bool>& stop, uint32_t seed) {
  std::mt19937 random(seed);
  // Mostly header words and the first records; now and then any word.
  while (!stop.load()) {
    Target& t = targets[random() % targets.size()];
    const uint32_t limit = (random() % 4 == 0) ? t.span : 256;
    const uint32_t offset = (random() % (limit / 4)) * 4;
    uint32_t value = random();
    switch (random() % 4) {
      case 0:
        value %= 64;
        break;  // small counts and offsets
      case 1:
        value = 0xFF000000u | (value % 20);
        break;  // marker-like
      default:
        break;
    }
    shm::Store(t.memory->view(), offset, value);
    if (random() % 8 == 0) std::this_thread::yield();
  }
}

uint32_t Touch(const uint8_t* p, uint32_t length) {
  uint32_t sum = 0;
  for (uint32_t i = 0; i < length; ++i) sum += p[i];
  return sum;
}

struct Totals {
  uint64_t written = 0, read = 0, accepted = 0, broken = 0, checksum = 0;
};

// One round: a fresh link under request value `value`, scribbled on for `ms`.
void RunRound(SfSMFAcceptorV2& acceptor, const std::string& name, uint32_t value, uint32_t ms,
              Totals& totals) {
  const std::string link_name = name + "." + std::to_string(value);
  // A client end in this process, so both directions carry traffic.
  SfSMFLinkV2 client;
  ASSERT_TRUE(client.Connect(link_name, 1));
  {
    SfSharedMemory header;
    SfMutex lock;
    ASSERT_TRUE(header.OpenOrCreate(false, name, 4096));
    ASSERT_TRUE(lock.Open(name + ".MT", true));
    // The scribbler may have moved the counters: post at whatever they say now.
    const uint32_t read = shm::Load(header.view(), acc::kReadCounter);
    shm::Store(header.view(), acc::kSlots + (read % acceptor.slot_count()) * 4, value);
    shm::Store(header.view(), acc::kWriteCounter, read + 1);
  }
  std::unique_ptr<SfSMFLinkV2> server = acceptor.Accept();
  ASSERT_NE(server, nullptr);

  std::vector<Target> targets;
  auto add = [&](const std::string& object, uint32_t size) {
    auto memory = std::make_unique<SfSharedMemory>();
    ASSERT_TRUE(memory->OpenOrCreate(false, object, size));
    targets.push_back({std::move(memory), size});
  };
  add(name, 4096);
  add(link_name + ".S.0", 16384);
  add(link_name + ".C.0", 16384);
  ASSERT_NE(client.BeginWrite(20000), nullptr);  // gives the client a segment 1 as well
  ASSERT_TRUE(client.Commit());
  add(link_name + ".C.1", 32768);

  std::atomic<bool> stop{false};
  std::thread scribbler([&] { Scribble(targets, stop, value); });
  const uint32_t t0 = platform::TickCount();
  while (platform::TickCount() - t0 < ms) {
    for (int i = 0; i < 64; ++i) {
      const uint32_t length = (i * 37) % 300;
      if (uint8_t* p = server->BeginWrite(length)) {
        std::memset(p, i, length);
        totals.written += server->Commit();
      }
      if (server->CanWrite(128)) ++totals.checksum;
      uint32_t got = 0;
      if (const uint8_t* p = server->Peek(&got)) {
        totals.checksum += Touch(p, got);
        totals.read += server->Pop();
      }
      if (uint8_t* p = client.BeginWrite(length)) {
        std::memset(p, 1, length);
        client.Commit();
      }
      if (const uint8_t* p = client.Peek(&got)) {
        totals.checksum += Touch(p, got);
        client.Pop();
      }
    }
    if (acceptor.HasRequest() && acceptor.Accept() != nullptr) ++totals.accepted;
  }
  stop = true;
  scribbler.join();
  totals.broken += server->IsBroken();
}

TEST(SfSMFLinkV2ScribbleTest, ServerSurvivesRandomWritesToSharedHeaders) {
  const std::string name = test::UniqueName("Local\\OrvexScr") + ".V2";
  SfSMFAcceptorV2 acceptor;
  ASSERT_TRUE(acceptor.Construct(name));
  Totals totals;
  for (uint32_t round = 0; round < 12; ++round) {
    RunRound(acceptor, name, 1000 + round, 120, totals);
    if (HasFatalFailure()) return;
  }
  // Counts only show the loops ran; a broken link is allowed, a crash is not.
  EXPECT_GT(totals.written, 0u);
  EXPECT_GT(totals.read, 0u);
  std::printf("written %llu, read %llu, accepted %llu, broken links %llu of 12\n",
              static_cast<unsigned long long>(totals.written),
              static_cast<unsigned long long>(totals.read),
              static_cast<unsigned long long>(totals.accepted),
              static_cast<unsigned long long>(totals.broken));
}

}  // namespace
}  // namespace orvex
