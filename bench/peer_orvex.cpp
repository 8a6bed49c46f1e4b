// Our bus in the benchmark: one publisher registered under a SID, subscribers asking
// for the same addressed topic, values as byte strings (type 7).
#include <span>

#include "bench/peer_systems.h"
#include "client/bus_client.h"
#include "protocol/message_codes.h"

namespace orvex::bench {

namespace {

client::LinkKind KindOf(const Plan& plan) {
  return plan.system == "orvex-classic" ? client::LinkKind::kClassic : client::LinkKind::kV2;
}

}  // namespace

int OrvexPublisher(const Plan& plan) {
  client::BusClient bus;
  bus.SetLinkLimit(kOrvexLinkBytes);
  RegisterReply reply;
  if (!bus.Connect(plan.hub, KindOf(plan), 10000) ||
      !bus.RegisterAndWait("BENCH", "bench pub", true, false, &reply)) {
    return 2;
  }
  RunEvents events(plan);
  uint32_t topic = 0;
  RtdValue value;
  auto send = [&](const uint8_t* payload, uint32_t size) {
    uint64_t seq = 0, sent = 0;
    ReadStamp(payload, &sent, &seq);
    // Outside the measured phase look for the topic and drain heartbeats.
    if (topic == 0 || seq == kWarmUp || seq == kEnd) {
      client::BusReceived m;
      while (bus.Receive(&m, 0)) {
        if (client::ClassicCodeOf(m.code) == MSG_TOPIC) topic = m.handle;
      }
    }
    if (topic == 0) return true;
    value.SetBytes(std::span<const uint8_t>(payload, size));
    return bus.Publish(topic, value);
  };
  const PubResult result = RunPublisherLoop(plan, events, send);
  bus.SendDisconnect("bench done");
  bus.Flush(1000);
  return WritePubResult(plan.ResultPath("pub"), result) ? 0 : 1;
}

int OrvexSubscriber(const Plan& plan) {
  client::BusClient bus;
  RegisterReply reply;
  // Thirty processes connecting at once on a loaded machine: allow a second try.
  bool connected = false;
  for (int attempt = 0; attempt < 3 && !connected; ++attempt) {
    connected = bus.Connect(plan.hub, KindOf(plan), 10000);
  }
  if (!connected || !bus.RegisterAndWait("", "bench sub", false, true, &reply) ||
      !bus.RequestTopic(1, "@BENCH:VALUES")) {
    return 2;
  }
  RunEvents events(plan);
  SubscriberLoop loop(plan, events);
  const uint64_t give_up = NowNs() + 120000000000ull;
  client::BusReceived m;
  uint64_t last_heard = NowNs(), last_alive = NowNs();
  while (NowNs() < give_up) {
    // A client that only listens must still show it is alive, or the bus drops it as
    // inactive while a long flat-out run drains (the C API's session does the same).
    if (NowNs() - last_alive > 2000000000ull) {
      bus.KeepAlive();
      last_alive = NowNs();
    }
    if (!bus.Receive(&m, 100)) {
      // The bus drops a link whose backlog overflowed without a word: after the values
      // stop for 3 s, count what arrived and leave.
      if (loop.result().received > 0 && NowNs() - last_heard > 3000000000ull) break;
      continue;
    }
    last_heard = NowNs();
    // A subscriber the bus dropped (its backlog overflowed) hears nothing more.
    if (m.code == MSG_DISCONNECT) break;
    if (client::ClassicCodeOf(m.code) != MSG_VALUE) continue;
    const auto bytes = m.value.Bytes();
    if (!loop.Take(bytes.data(), static_cast<uint32_t>(bytes.size()))) break;
  }
  const int rc = loop.Finish();
  bus.SendDisconnect("bench done");
  bus.Flush(1000);
  return rc;
}

}  // namespace orvex::bench
