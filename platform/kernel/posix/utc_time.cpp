#include "platform/utc_time.h"

#include <time.h>

namespace orvex::platform {

bool BreakDownUtc(int64_t seconds, UtcFields* out) {
  // gmtime_r accepts far more than the Windows runtime; refuse what it refuses.
  if (seconds < 0 || seconds > kMaxUtcSeconds) return false;
  const time_t t = static_cast<time_t>(seconds);
  tm fields{};
  if (gmtime_r(&t, &fields) == nullptr) return false;
  out->year = fields.tm_year + 1900;
  out->month = fields.tm_mon + 1;
  out->day = fields.tm_mday;
  out->hour = fields.tm_hour;
  out->minute = fields.tm_min;
  out->second = fields.tm_sec;
  return true;
}

}  // namespace orvex::platform
