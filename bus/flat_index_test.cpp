#include "bus/flat_index.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace orvex {
namespace {

struct RtdTopic;
RtdTopic* Fake(uint32_t n) {
  return reinterpret_cast<RtdTopic*>(static_cast<uintptr_t>(n) * 16 + 16);
}

// Topic ids to topics, against a map, through the uses the topic table makes: ids in sequence, ids
// near the wrap, removals in every order (each one shifting probe chains back), re-entry of removed
// ids, and random churn long enough to grow the table many times.
TEST(FlatIndexTest, AgreesWithAMapThroughGrowthRemovalAndChurn) {
  FlatIndex<uint32_t, RtdTopic*> index;
  std::map<uint32_t, RtdTopic*> expect;
  const auto check = [&](uint32_t id) {
    auto it = expect.find(id);
    ASSERT_EQ(index.Find(id), it == expect.end() ? nullptr : it->second) << "id " << id;
  };
  EXPECT_EQ(index.Find(0), nullptr);
  EXPECT_EQ(index.Find(7), nullptr);
  index.Erase(7);  // nothing there, nothing happens
  index.Insert(0, Fake(1));
  EXPECT_EQ(index.size(), 0u);  // id 0 is never a topic's

  for (uint32_t id = 1; id <= 5000; ++id) {
    index.Insert(id, Fake(id));
    expect[id] = Fake(id);
  }
  for (uint32_t id = 0xFFFFFF00u; id != 0; ++id) {  // up to the wrap
    index.Insert(id, Fake(id));
    expect[id] = Fake(id);
  }
  index.Insert(17, Fake(99));  // the same id again replaces
  expect[17] = Fake(99);
  EXPECT_EQ(index.size(), expect.size());
  for (uint32_t id = 1; id <= 5000; id += 3) {
    index.Erase(id);
    expect.erase(id);
  }
  for (int64_t id = 5000; id >= 1; id -= 7) {
    index.Erase(static_cast<uint32_t>(id));
    expect.erase(static_cast<uint32_t>(id));
  }
  for (uint32_t id = 0; id <= 5100; ++id) ASSERT_NO_FATAL_FAILURE(check(id));
  for (uint32_t id = 0xFFFFFE00u; id != 0; ++id) ASSERT_NO_FATAL_FAILURE(check(id));

  std::mt19937 random(12345);
  for (int step = 0; step < 300000; ++step) {
    const uint32_t id = 1 + random() % 20000;
    if (random() % 3 == 0) {
      index.Erase(id);
      expect.erase(id);
    } else {
      index.Insert(id, Fake(id + static_cast<uint32_t>(step)));
      expect[id] = Fake(id + static_cast<uint32_t>(step));
    }
  }
  EXPECT_EQ(index.size(), expect.size());
  for (uint32_t id = 0; id <= 20001; ++id) ASSERT_NO_FATAL_FAILURE(check(id));
  for (const auto& [id, topic] : expect) index.Erase(id);
  EXPECT_EQ(index.size(), 0u);
  EXPECT_EQ(index.Find(1), nullptr);

  // 64-bit keys that differ only above bit 31 (message code and handle), as the held
  // messages' slots are found; Clear empties and the index is used again.
  FlatIndex<uint64_t, uint32_t> keys;
  for (uint64_t code : {16ull, 65ull}) {
    for (uint32_t handle = 0; handle < 3000; ++handle) keys.Insert(code << 32 | handle, handle + 1);
  }
  EXPECT_EQ(keys.size(), 6000u);
  EXPECT_EQ(keys.Find(16ull << 32 | 2999, 0), 3000u);
  EXPECT_EQ(keys.Find(65ull << 32, 0), 1u);
  EXPECT_EQ(keys.Find(17ull << 32, 77), 77u);
  keys.Clear();
  EXPECT_EQ(keys.size(), 0u);
  EXPECT_EQ(keys.Find(16ull << 32 | 5, 0), 0u);
  keys.Insert(1, 9);
  EXPECT_EQ(keys.Find(1, 0), 9u);
}

}  // namespace
}  // namespace orvex
