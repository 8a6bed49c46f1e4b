#include "transport/block_pool.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace orvex {
namespace {

TEST(SfBlockPoolTest, FreedItemsComeBackBeforeUntouchedSpace) {
  SfBlockPool pool(136, 4);
  void* a = pool.Allocate();
  void* b = pool.Allocate();
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  pool.Free(a);
  EXPECT_EQ(pool.Allocate(), a);  // the freed item, not the third untouched one
  EXPECT_EQ(pool.free_items(0), 2);
}

TEST(SfBlockPoolTest, GrowsByDoublingAndIgnoresForeignPointers) {
  SfBlockPool pool(16, 2);
  std::vector<void*> items;
  for (int i = 0; i < 2 + 4 + 8; ++i) items.push_back(pool.Allocate());
  ASSERT_EQ(pool.block_count(), 3u);
  EXPECT_EQ(pool.block_capacity(0), 2);
  EXPECT_EQ(pool.block_capacity(1), 4);
  EXPECT_EQ(pool.block_capacity(2), 8);
  EXPECT_EQ(std::set<void*>(items.begin(), items.end()).size(), items.size());
  // Not items of this pool, or already free: ignored, the counts stay right.
  alignas(8) uint8_t stranger[64] = {};
  pool.Free(stranger + 8);
  pool.Free(items[0]);
  pool.Free(items[0]);
  EXPECT_EQ(pool.free_items(0), 1);
}

TEST(SfBlockPoolTest, CapacityStopsAt65534) {
  SfBlockPool pool(4, 32768);
  pool.Allocate();
  for (int i = 0; i < 32768; ++i) pool.Allocate();
  ASSERT_EQ(pool.block_count(), 2u);
  EXPECT_EQ(pool.block_capacity(1), 65534);
}

TEST(SfBlockPoolTest, TrimKeepsBlockZeroAndDropsTrailingFreeBlocks) {
  SfBlockPool pool(16, 100);
  std::vector<void*> items;
  for (int i = 0; i < 100 + 200 + 10; ++i) items.push_back(pool.Allocate());
  ASSERT_EQ(pool.block_count(), 3u);
  // Free everything: the countdown (100) runs out on the 101st free and trims the
  // trailing blocks that are wholly free by then.
  for (auto it = items.rbegin(); it != items.rend(); ++it) pool.Free(*it);
  pool.Free(pool.Allocate());  // frees after the trim keep working
  for (int i = 0; i < 300; ++i) pool.Free(pool.Allocate());
  EXPECT_EQ(pool.block_count(), 1u);
  EXPECT_EQ(pool.free_items(0), 100);
}

}  // namespace
}  // namespace orvex
