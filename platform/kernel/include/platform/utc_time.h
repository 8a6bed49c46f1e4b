#pragma once
#include <cstdint>

namespace orvex::platform {

// Calendar fields of one UTC instant: year (e.g. 1970), month 1-12, day 1-31,
// hour 0-23, minute 0-59, second 0-59.
struct UtcFields {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Last instant the 64-bit C runtime conversion accepts: 3000-12-31T23:59:59 UTC.
inline constexpr int64_t kMaxUtcSeconds = 32535215999;

// Breaks `seconds` since 1970-01-01T00:00:00 UTC into calendar fields, as the 64-bit
// UTC conversion of the C runtime does. Returns false, leaving *out untouched, for
// seconds below 0 or above kMaxUtcSeconds (both backends refuse the same range).
bool BreakDownUtc(int64_t seconds, UtcFields* out);

}  // namespace orvex::platform
