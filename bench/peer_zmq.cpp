// ZeroMQ in the benchmark: an XSUB/XPUB proxy as the hub over ipc://, one PUB socket
// connected to its front, SUB sockets connected to its back. "zmq" is lossy as ZeroMQ
// is by default (PUB and XPUB drop at their water marks); "zmq-lossless" sets
// ZMQ_XPUB_NODROP on the publisher and on the proxy's XPUB, so a full queue refuses the
// send and the publisher retries: it slows down instead of losing values.
#include <zmq.h>

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
  auto send = [&](const uint8_t* payload, uint32_t size) {
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
  zmq_setsockopt(sub, ZMQ_SUBSCRIBE, "", 0);
  const int timeout = 100;
  zmq_setsockopt(sub, ZMQ_RCVTIMEO, &timeout, sizeof timeout);
  if (zmq_connect(sub, Back(plan).c_str()) != 0) return 2;
  RunEvents events(plan);
  SubscriberLoop loop(plan, events);
  std::vector<uint8_t> buffer(4096);
  const uint64_t give_up = NowNs() + 120000000000ull;
  while (NowNs() < give_up) {
    const int n = zmq_recv(sub, buffer.data(), buffer.size(), 0);
    if (n < 0) continue;
    if (!loop.Take(buffer.data(), static_cast<uint32_t>(n))) break;
  }
  const int rc = loop.Finish();
  const int linger = 0;
  zmq_setsockopt(sub, ZMQ_LINGER, &linger, sizeof linger);
  zmq_close(sub);
  zmq_ctx_term(context);
  return rc;
}

}  // namespace orvex::bench
