// Our bus in the benchmark: one publisher registered under a SID, subscribers asking
// for addressed topics (one, or Plan::topics of them), values as byte strings (type 7).
#include <span>

#include "bench/peer_orvex_client.h"
#include "bench/peer_systems.h"
#include "protocol/message_codes.h"

namespace orvex::bench {

client::LinkKind KindOf(const Plan& plan) {
  return plan.system.rfind("orvex-classic", 0) == 0 ? client::LinkKind::kClassic
                                                    : client::LinkKind::kV2;
}

uint64_t OrvexLinkBytes(const Plan& plan) {
  // A hundred thousand topic messages to the publisher are no values, so nothing
  // conflates them: a bound of 64 KiB would drop its link. Many topics run with the
  // bus's default bound, as a workbook would.
  if (plan.topics != 0) return client::kDefaultLinkLimitBytes;
  // A link must take at least a few values whole; beyond that the least bus_host takes.
  return std::max<uint64_t>(kOrvexLinkBytes, uint64_t{4} * plan.size);
}

std::string OrvexTopicText(const Plan& plan, uint32_t number) {
  return plan.topics == 0 ? "@BENCH:VALUES" : "@BENCH:T" + std::to_string(number);
}

bool ConnectOrvex(client::BusClient& bus, const Plan& plan, bool publisher) {
  // Thirty processes connecting at once on a loaded machine: allow a second try.
  bool connected = false;
  for (int attempt = 0; attempt < 3 && !connected; ++attempt) {
    connected = bus.Connect(plan.hub, KindOf(plan), 10000);
  }
  RegisterReply reply;
  return connected && (publisher ? bus.RegisterAndWait("BENCH", "bench pub", true, false, &reply)
                                 : bus.RegisterAndWait("", "bench sub", false, true, &reply));
}

bool TopicIds::Take(const client::BusReceived& m) {
  if (client::ClassicCodeOf(m.code) != MSG_TOPIC) return false;
  uint32_t number = 0;
  if (wanted_ == 0)
    number = 0;  // the single topic, whatever its text
  else if (!TopicNumber(m.text, &number) || number >= wanted_)
    return true;
  if (ids_[number] == 0) ++known_;
  ids_[number] = m.handle;
  return true;
}

int OrvexPublisher(const Plan& plan) {
  client::BusClient bus;
  bus.SetLinkLimit(OrvexLinkBytes(plan));
  if (!ConnectOrvex(bus, plan, true)) return 2;
  RunEvents events(plan);
  TopicIds topics(plan.topics);
  TopicSampler sampler(plan.topics, plan.zipf != 0 ? kZipfExponent : 0.0, 7);
  // Many topics: take their ids as fast as the bus hands them out.
  client::BusReceived m;
  const uint64_t give_up = NowNs() + 120000000000ull;
  while (plan.topics != 0 && !topics.complete() && NowNs() < give_up) {
    if (bus.Receive(&m, 100)) topics.Take(m);
  }
  RtdValue value;
  auto send = [&](const uint8_t* payload, uint32_t size) {
    uint64_t seq = 0, sent = 0;
    ReadStamp(payload, &sent, &seq);
    // Outside the measured phase look for the topics and drain heartbeats.
    const bool marker = seq == kWarmUp || seq == kEnd;
    if (!topics.complete() || marker) {
      while (bus.Receive(&m, 0)) topics.Take(m);
    }
    // Warm-up only once every topic is known: it tells the subscribers to begin.
    if (!topics.complete()) return true;
    value.SetBytes(std::span<const uint8_t>(payload, size));
    return bus.Publish(topics.Id(marker || plan.topics == 0 ? 0 : sampler.Next()), value);
  };
  const PubResult result = RunPublisherLoop(plan, events, send);
  bus.SendDisconnect("bench done");
  bus.Flush(1000);
  return WritePubResult(plan.ResultPath("pub"), result) ? 0 : 1;
}

int OrvexSubscriber(const Plan& plan) {
  client::BusClient bus;
  if (!ConnectOrvex(bus, plan, false)) return 2;
  if (plan.topics == 0) {
    if (!bus.RequestTopic(1, OrvexTopicText(plan, 0))) return 2;
  } else {
    for (uint32_t t : TopicShare(plan.topics, plan.subs, plan.index)) {
      if (!bus.RequestTopic(t + 1, OrvexTopicText(plan, t))) return 2;
    }
  }
  RunEvents events(plan);
  SubscriberLoop loop(plan, events);
  const uint64_t give_up = NowNs() + 120000000000ull;
  client::BusReceived m;
  uint64_t last_heard = NowNs(), last_alive = NowNs();
  // One clock read per pass besides the receive stamp: in a VM a read is not free,
  // and the peers' subscribers read it as often.
  for (uint64_t now = NowNs(); now < give_up; now = NowNs()) {
    // A client that only listens must still show it is alive, or the bus drops it as
    // inactive while a long flat-out run drains (the C API's session does the same).
    if (now - last_alive > 1000000000ull) {
      bus.KeepAlive();
      last_alive = now;
    }
    // A draining subscriber looks without waiting once values flow: finding none ends
    // the drain.
    const bool draining = plan.drain_ms != 0 && loop.result().received > 0;
    if (!bus.Receive(&m, draining ? 0 : 100)) {
      // The bus drops a link whose backlog overflowed without a word: after the values
      // stop for 3 s past a drain, count what arrived and leave.
      if (loop.result().received > 0 &&
          now - last_heard > 3000000000ull + uint64_t{plan.drain_ms} * 1000000) {
        break;
      }
      if (draining) loop.Pace();
      continue;
    }
    last_heard = now;
    // A subscriber the bus dropped (its backlog overflowed) hears nothing more.
    if (m.code == MSG_DISCONNECT) break;
    if (client::ClassicCodeOf(m.code) != MSG_VALUE) continue;
    const auto bytes = m.value.Bytes();
    if (!loop.Take(bytes.data(), static_cast<uint32_t>(bytes.size()))) break;
    if (plan.read_rate != 0) loop.Pace();
  }
  const int rc = loop.Finish();
  bus.SendDisconnect("bench done");
  bus.Flush(1000);
  return rc;
}

}  // namespace orvex::bench
