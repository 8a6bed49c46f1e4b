#pragma once
// The publisher loop, a template so each transport's send is inlined.
#include <algorithm>
#include <vector>

#include "platform/clock.h"

namespace orvex::bench {

template <typename Send>
PubResult RunPublisherLoop(const Plan& plan, RunEvents& events, Send send) {
  std::vector<uint8_t> payload(plan.size);
  Stamp(payload.data(), plan.size, kWarmUp);
  PubResult result;
  while (!events.IsSet("quiet")) {
    StampHead(payload.data(), kWarmUp);
    send(payload.data(), plan.size);
    platform::SleepMs(5);
  }
  events.Wait("go", 60000);
  const uint64_t cpu_start = ProcessCpuNs();
  result.start_ns = NowNs();
  const uint64_t end = result.start_ns + uint64_t{plan.duration_ms} * 1000000;
  const Pacer pacer(result.start_ns, plan.rate);
  uint64_t seq = 0;
  for (; seq < plan.idle_values; ++seq) {
    platform::SleepMs(kIdleGapMs);
    StampHead(payload.data(), seq);
    while (!send(payload.data(), plan.size)) platform::SleepMs(0);
  }
  for (;;) {
    if (plan.idle_values != 0) break;
    const uint64_t now = NowNs();
    if (now >= end) break;
    // Paced: send what is due, then sleep to the next value's time (an absolute time,
    // so a late wake-up sends the values it owes at once instead of drifting).
    if (plan.rate != 0 && seq >= pacer.Due(now)) {
      SleepUntilNs(std::min(pacer.NextNs(seq), end));
      continue;
    }
    // Stamped with the time just read: one clock read per value.
    StampHead(payload.data(), seq, now);
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
    StampHead(payload.data(), kEnd);
    send(payload.data(), plan.size);
    platform::SleepMs(5);
  }
  return result;
}

}  // namespace orvex::bench
