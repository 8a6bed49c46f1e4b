// ZeroMQ in the benchmark: an XSUB/XPUB proxy as the hub over ipc://, one PUB socket
// connected to its front, SUB sockets connected to its back. "zmq" is lossy as ZeroMQ
// is by default (PUB and XPUB drop at their water marks); "zmq-lossless" sets
// ZMQ_XPUB_NODROP on the publisher and on the proxy's XPUB, so a full queue refuses the
// send and the publisher retries: it slows down instead of losing values. With many
// topics each value leads with its topic ("T" and six digits) and each subscriber
// subscribes to its topics as prefixes.
#include <zmq.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

#include "bench/peer_systems.h"
#include "platform/clock.h"

namespace orvex::bench {

namespace {

std::string Front(const Plan& plan) {
  return "ipc://" + plan.hub + ".front";
}
std::string Back(const Plan& plan) {
  return "ipc://" + plan.hub + ".back";
}

// A bigger queue than the default 1000 so bursts wait rather than drop; still bounded.
void SetWaterMarks(void* socket) {
  const int hwm = 100000;
  zmq_setsockopt(socket, ZMQ_SNDHWM, &hwm, sizeof hwm);
  zmq_setsockopt(socket, ZMQ_RCVHWM, &hwm, sizeof hwm);
}

bool Lossless(const Plan& plan) {
  return plan.system == "zmq-lossless";
}

void SetNoDrop(void* socket) {
  const int on = 1;
  zmq_setsockopt(socket, ZMQ_XPUB_NODROP, &on, sizeof on);
}

constexpr uint32_t kPrefixBytes = 7;

// Six digits: no topic's prefix is the prefix of another's.
void WritePrefix(uint8_t* out, uint32_t topic) {
  char text[kPrefixBytes + 1];
  std::snprintf(text, sizeof text, "T%06u", topic % 1000000);
  std::memcpy(out, text, kPrefixBytes);
}

}  // namespace

int ZmqHub(const Plan& plan) {
  void* context = zmq_ctx_new();
  void* front = zmq_socket(context, ZMQ_XSUB);
  void* back = zmq_socket(context, ZMQ_XPUB);
  SetWaterMarks(front);
  SetWaterMarks(back);
  if (Lossless(plan)) SetNoDrop(back);
  if (zmq_bind(front, Front(plan).c_str()) != 0 || zmq_bind(back, Back(plan).c_str()) != 0) {
    return 2;
  }
  std::thread proxy([&] { zmq_proxy(front, back, nullptr); });
  RunEvents events(plan);
  events.Set("hub");
  while (!events.Wait("hubstop", 100)) {
  }
  // Ends zmq_proxy with ETERM.
  zmq_ctx_shutdown(context);
  proxy.join();
  zmq_close(front);
  zmq_close(back);
  zmq_ctx_term(context);
  return 0;
}

int ZmqPublisher(const Plan& plan) {
  void* context = zmq_ctx_new();
  void* pub = zmq_socket(context, ZMQ_PUB);
  SetWaterMarks(pub);
  const bool lossless = Lossless(plan);
  if (lossless) SetNoDrop(pub);
  if (zmq_connect(pub, Front(plan).c_str()) != 0) return 2;
  RunEvents events(plan);
  TopicSampler sampler(plan.topics, plan.zipf != 0 ? kZipfExponent : 0.0, 7);
  std::vector<uint8_t> framed(kPrefixBytes + plan.size);
  auto send = [&](const uint8_t* payload, uint32_t size) {
    if (plan.topics != 0) {
      uint64_t seq = 0, sent = 0;
      ReadStamp(payload, &sent, &seq);
      WritePrefix(framed.data(), seq == kWarmUp || seq == kEnd ? 0 : sampler.Next());
      std::memcpy(framed.data() + kPrefixBytes, payload, size);
      payload = framed.data();
      size += kPrefixBytes;
    }
    // Lossy PUB never blocks; at its water mark it drops, as ZeroMQ does. Lossless, a
    // full queue answers EAGAIN and the loop sends the value again.
    if (!lossless) {
      zmq_send(pub, payload, size, 0);
      return true;
    }
    return zmq_send(pub, payload, size, ZMQ_DONTWAIT) >= 0;
  };
  const PubResult result = RunPublisherLoop(plan, events, send);
  const int linger = 0;
  zmq_setsockopt(pub, ZMQ_LINGER, &linger, sizeof linger);
  zmq_close(pub);
  zmq_ctx_term(context);
  return WritePubResult(plan.ResultPath("pub"), result) ? 0 : 1;
}

int ZmqSubscriber(const Plan& plan) {
  void* context = zmq_ctx_new();
  void* sub = zmq_socket(context, ZMQ_SUB);
  SetWaterMarks(sub);
  if (plan.topics == 0) zmq_setsockopt(sub, ZMQ_SUBSCRIBE, "", 0);
  for (uint32_t t : TopicShare(plan.topics, plan.subs, plan.index)) {
    uint8_t prefix[kPrefixBytes];
    WritePrefix(prefix, t);
    zmq_setsockopt(sub, ZMQ_SUBSCRIBE, prefix, kPrefixBytes);
  }
  const int timeout = 100;
  zmq_setsockopt(sub, ZMQ_RCVTIMEO, &timeout, sizeof timeout);
  if (zmq_connect(sub, Back(plan).c_str()) != 0) return 2;
  RunEvents events(plan);
  SubscriberLoop loop(plan, events);
  // Room for the largest value: zmq_recv cuts a longer message to the buffer.
  const uint32_t skip = plan.topics != 0 ? kPrefixBytes : 0;
  std::vector<uint8_t> buffer(skip + plan.size);
  const uint64_t give_up = NowNs() + 120000000000ull;
  while (NowNs() < give_up) {
    const int n = zmq_recv(sub, buffer.data(), buffer.size(), 0);
    if (n < static_cast<int>(skip)) continue;
    const size_t got = std::min<size_t>(static_cast<size_t>(n), buffer.size());
    if (!loop.Take(buffer.data() + skip, static_cast<uint32_t>(got - skip))) break;
  }
  const int rc = loop.Finish();
  const int linger = 0;
  zmq_setsockopt(sub, ZMQ_LINGER, &linger, sizeof linger);
  zmq_close(sub);
  zmq_ctx_term(context);
  return rc;
}

}  // namespace orvex::bench
