#include "platform/utc_time.h"

#include <gtest/gtest.h>

namespace orvex::platform {
namespace {

UtcFields Fields(int y, int mo, int d, int h, int mi, int s) {
  return {y, mo, d, h, mi, s};
}

bool Same(const UtcFields& a, const UtcFields& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
         a.minute == b.minute && a.second == b.second;
}

TEST(UtcTime, BreaksDownKnownInstants) {
  UtcFields f;
  ASSERT_TRUE(BreakDownUtc(0, &f));
  EXPECT_TRUE(Same(f, Fields(1970, 1, 1, 0, 0, 0)));
  ASSERT_TRUE(BreakDownUtc(951782400 + 3661, &f));
  EXPECT_TRUE(Same(f, Fields(2000, 2, 29, 1, 1, 1)));
  ASSERT_TRUE(BreakDownUtc(4107542400, &f));  // 2100 is not a leap year
  EXPECT_TRUE(Same(f, Fields(2100, 3, 1, 0, 0, 0)));
  ASSERT_TRUE(BreakDownUtc(kMaxUtcSeconds, &f));
  EXPECT_TRUE(Same(f, Fields(3000, 12, 31, 23, 59, 59)));
}

TEST(UtcTime, RefusesOutsideTheRuntimeRange) {
  UtcFields f = Fields(1, 2, 3, 4, 5, 6);
  EXPECT_FALSE(BreakDownUtc(-1, &f));
  EXPECT_FALSE(BreakDownUtc(kMaxUtcSeconds + 1, &f));
  EXPECT_FALSE(BreakDownUtc(INT64_MIN, &f));
  EXPECT_FALSE(BreakDownUtc(INT64_MAX, &f));
  EXPECT_TRUE(Same(f, Fields(1, 2, 3, 4, 5, 6)));
}

}  // namespace
}  // namespace orvex::platform
