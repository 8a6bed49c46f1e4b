#pragma once
// The publisher loop, a template so each transport's send is inlined.
#include <vector>

#include "platform/clock.h"

namespace orvex::bench {

template <typename Send>
PubResult RunPublisherLoop(const Plan& plan, RunEvents& events, Send send) {
  std::vector<uint8_t> payload(plan.size);
  PubResult result;
  while (!events.IsSet("quiet")) {
    Stamp(payload.data(), plan.size, kWarmUp);
    send(payload.data(), plan.size);
    platform::SleepMs(5);
  }
  events.Wait("go", 60000);
  const uint64_t cpu_start = ProcessCpuNs();
  result.start_ns = NowNs();
  const uint64_t end = result.start_ns + uint64_t{plan.duration_ms} * 1000000;
  const uint64_t period = plan.rate == 0 ? 0 : 1000000000ull / plan.rate;
  uint64_t next = result.start_ns;
  uint64_t seq = 0;
  for (; seq < plan.idle_values; ++seq) {
    platform::SleepMs(kIdleGapMs);
    Stamp(payload.data(), plan.size, seq);
    while (!send(payload.data(), plan.size)) platform::SleepMs(0);
  }
  for (;;) {
    if (plan.idle_values != 0) break;
    uint64_t now = NowNs();
    if (now >= end) break;
    if (period != 0) {
      // Sleep most of the way, then spin: a 1 ms sleep alone would cap the rate.
      while (now < next) {
        if (next - now > 2000000) platform::SleepMs(1);
        now = NowNs();
      }
      next += period;
    }
    Stamp(payload.data(), plan.size, seq);
    while (!send(payload.data(), plan.size)) {
      platform::SleepMs(0);
      if (NowNs() >= end + 2000000000ull) break;
    }
    ++seq;
  }
  result.end_ns = NowNs();
  result.cpu_ns = ProcessCpuNs() - cpu_start;
  result.sent = seq;
  while (!events.IsSet("stop")) {
    Stamp(payload.data(), plan.size, kEnd);
    send(payload.data(), plan.size);
    platform::SleepMs(5);
  }
  return result;
}

}  // namespace orvex::bench
