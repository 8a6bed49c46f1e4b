// The subscribe storm on our bus: one subscriber asks for Plan::topics topics at once,
// a publisher answers each topic it is given with a value, and the subscriber times
// the bus taking the requests, the last first value and closing them all.
#include <span>

#include "bench/peer_orvex_client.h"
#include "bench/peer_systems.h"
#include "protocol/message_codes.h"

namespace orvex::bench {

namespace {

// A bus topic: the bus answers it at once, so its answer tells that every request sent
// before it was taken.
constexpr const char* kBarrierTopic = "@BUS:PUBLIST";

}  // namespace

int OrvexStormPublisher(const Plan& plan) {
  client::BusClient bus;
  if (!ConnectOrvex(bus, plan, true)) return 2;
  const uint64_t registered = NowNs();
  RunEvents events(plan);
  events.Set("pubready");
  std::vector<uint8_t> payload(plan.size);
  RtdValue value;
  uint64_t answered = 0, last_alive = NowNs();
  client::BusReceived m;
  while (!events.IsSet("stop")) {
    if (NowNs() - last_alive > 1000000000ull) {
      bus.KeepAlive();
      last_alive = NowNs();
    }
    if (!bus.Receive(&m, 100) || client::ClassicCodeOf(m.code) != MSG_TOPIC) continue;
    Stamp(payload.data(), plan.size, answered++);
    value.SetBytes(std::span<const uint8_t>(payload));
    bus.Publish(m.handle, value);
  }
  bus.SendDisconnect("bench done");
  bus.Flush(1000);
  return WriteNumbers(plan.ResultPath("pub"), {registered, answered}) ? 0 : 1;
}

int OrvexStormSubscriber(const Plan& plan) {
  client::BusClient bus;
  if (!ConnectOrvex(bus, plan, false)) return 2;
  RunEvents events(plan);
  events.Set("ready.0");
  if (!events.Wait("go", 60000)) return 2;
  const uint32_t n = plan.topics;
  StormTimes times;
  times.start_ns = NowNs();
  for (uint32_t t = 0; t < n; ++t) {
    if (!bus.RequestTopic(t + 1, OrvexTopicText(plan, t))) return 2;
  }
  if (!bus.RequestTopic(n + 1, kBarrierTopic)) return 2;
  times.sent_ns = NowNs();
  std::vector<bool> seen(n + 3, false);
  const uint64_t give_up = NowNs() + 120000000000ull;
  uint64_t last_alive = NowNs();
  client::BusReceived m;
  // Every first value, then the barrier after closing them all.
  while (times.closed_ns == 0 && NowNs() < give_up) {
    if (NowNs() - last_alive > 1000000000ull) {
      bus.KeepAlive();
      last_alive = NowNs();
    }
    if (!bus.Receive(&m, 100)) continue;
    if (m.code == MSG_DISCONNECT) break;
    if (client::ClassicCodeOf(m.code) != MSG_VALUE || m.handle == 0 || m.handle > n + 2 ||
        seen[m.handle]) {
      continue;
    }
    seen[m.handle] = true;
    if (m.handle == n + 1) {
      times.taken_ns = NowNs();
      // Without a publisher the harness starts one now.
      events.Set("requested");
    } else if (m.handle == n + 2) {
      times.closed_ns = NowNs();
    } else if (++times.firsts == n) {
      times.last_first_ns = NowNs();
      if (!bus.CloseAll() || !bus.RequestTopic(n + 2, kBarrierTopic)) break;
    }
  }
  const bool written = WriteNumbers(plan.ResultPath("sub0"), times.ToNumbers());
  // The harness reads the bus's memory with every topic closed, before this link goes.
  events.Set("closed");
  events.Wait("stop", 60000);
  bus.SendDisconnect("bench done");
  bus.Flush(1000);
  return written && times.closed_ns != 0 ? 0 : 1;
}

}  // namespace orvex::bench
