#include "platform/utc_time.h"

#include <time.h>

namespace orvex::platform {

bool BreakDownUtc(int64_t seconds, UtcFields* out) {
  // The runtime's own limits differ between its versions; ours are checked first so
  // every build refuses the same instants.
  if (seconds < 0 || seconds > kMaxUtcSeconds) return false;
  const __time64_t t = seconds;
  tm fields{};
  if (_gmtime64_s(&fields, &t) != 0) return false;
  out->year = fields.tm_year + 1900;
  out->month = fields.tm_mon + 1;
  out->day = fields.tm_mday;
  out->hour = fields.tm_hour;
  out->minute = fields.tm_min;
  out->second = fields.tm_sec;
  return true;
}

}  // namespace orvex::platform
