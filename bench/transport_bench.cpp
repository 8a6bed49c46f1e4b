// One-way throughput and round-trip latency of 128-byte messages over both link
// kinds, with the peer in its own process. Prints one line per figure.
//   transport_bench [messages] [classic|v2|v2batch]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "transport/smf_channel.h"
#include "transport/smf_link_v2.h"

namespace {

using namespace orvex;
using Clock = std::chrono::steady_clock;
constexpr uint32_t kMessage = 128;
constexpr uint32_t kRoundTrips = 20000;

// A link seen from either end, so both benches share one driver.
struct Endpoint {
  virtual ~Endpoint() = default;
  virtual bool Send(uint32_t sequence) = 0;
  // Waits for the next message (polling when `spin`, else on the link's own wait).
  virtual bool Receive(uint32_t* sequence, bool spin) = 0;
  virtual void Flush() {}
  // Shows what was sent to the reader now (a batching writer holds it back otherwise).
  virtual void Publish() {}
};

struct ClassicEndpoint : Endpoint {
  SfSMFChannel channel;
  ClassicEndpoint(bool create, const std::string& name) : channel(create, 1000, kMessage, name) {}
  bool Send(uint32_t sequence) override {
    uint8_t* buffer = channel.BeginMessage();
    if (buffer == nullptr) return false;
    std::memcpy(buffer, &sequence, 4);
    return channel.CommitMessage();
  }
  bool Receive(uint32_t* sequence, bool spin) override {
    while (!channel.HasData()) {
      if (!spin && !channel.WaitData(1000)) return false;
    }
    std::memcpy(sequence, channel.Peek(), 4);
    channel.Pop();
    return true;
  }
  void Flush() override {
    while (channel.queue().pending_count() > 0) platform::SleepMs(1);
  }
};

struct V2Endpoint : Endpoint {
  SfSMFLinkV2 link;
  V2Endpoint(int side, const std::string& name) { link.Connect(name, side); }
  bool Send(uint32_t sequence) override {
    uint8_t* record = link.BeginWrite(kMessage);
    if (record == nullptr) return false;
    std::memcpy(record, &sequence, 4);
    return link.Commit();
  }
  bool Receive(uint32_t* sequence, bool) override {
    while (!link.Ready()) {
    }
    uint32_t length = 0;
    const uint8_t* payload = link.Peek(&length);
    if (payload == nullptr || length < 4) return false;
    std::memcpy(sequence, payload, 4);
    link.Pop();
    return true;
  }
};

// V2 as the bus writes it: records published once per batch of kBatch, and the
// reader taking whatever is published in one go.
struct V2BatchEndpoint : V2Endpoint {
  static constexpr uint32_t kBatch = 64;
  uint32_t unpublished = 0;
  std::vector<uint32_t> inbox;
  size_t next = 0;
  V2BatchEndpoint(int side, const std::string& name) : V2Endpoint(side, name) {
    link.DeferWake(true);
  }
  bool Send(uint32_t sequence) override {
    if (!V2Endpoint::Send(sequence)) {
      Flush();
      return false;
    }
    if (++unpublished == kBatch) Flush();
    return true;
  }
  void Flush() override { Publish(); }
  void Publish() override {
    link.WakePeer();
    unpublished = 0;
  }
  bool Receive(uint32_t* sequence, bool spin) override {
    if (next == inbox.size()) {
      inbox.clear();
      next = 0;
      while (!link.Ready()) {
      }
      bool whole = true;
      link.PopBatch(UINT32_MAX, [&](const uint8_t* payload, uint32_t length) {
        uint32_t value = 0;
        if (length >= 4) std::memcpy(&value, payload, 4);
        whole = whole && length >= 4;
        inbox.push_back(value);
        return true;
      });
      if (!whole || inbox.empty()) return false;
    }
    (void)spin;
    *sequence = inbox[next++];
    return true;
  }
};

Endpoint* MakeEndpoint(const std::string& kind, bool server, const std::string& name) {
  if (kind == "classic") return new ClassicEndpoint(server, name);
  if (kind == "v2batch") return new V2BatchEndpoint(server ? 0 : 1, name);
  return new V2Endpoint(server ? 0 : 1, name);
}

// The peer process: "oneway" sends `count` messages; "echo" answers each message.
int RunPeer(const std::string& kind, const std::string& mode, const std::string& name,
            uint32_t count) {
  Endpoint* peer = MakeEndpoint(kind, false, name);
  if (mode == "oneway") {
    for (uint32_t i = 0; i < count; ++i) {
      while (!peer->Send(i)) platform::SleepMs(0);
    }
  } else {
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t got = 0;
      if (!peer->Receive(&got, kind != "classic")) return 2;
      while (!peer->Send(got)) platform::SleepMs(0);
      peer->Publish();  // one message in flight
    }
  }
  peer->Flush();
  platform::SleepMs(200);  // let the bench read the tail before our objects go
  delete peer;
  return 0;
}

double Percentile(std::vector<double>& values, double p) {
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(p * (values.size() - 1))];
}

void Bench(const std::string& kind, uint32_t messages) {
  const std::string self = platform::CurrentExecutablePath();
  const std::string name =
      "Local\\OrvexBench" + std::to_string(platform::CurrentProcessId()) + "_" + kind;
  // One way: the peer sends flat out, we count.
  {
    Endpoint* server = MakeEndpoint(kind, true, name + "_1");
    platform::ProcessObject* peer = platform::SpawnProcess(
        self, {"--peer", kind, "oneway", name + "_1", std::to_string(messages)});
    uint32_t expected = 0;
    Clock::time_point start;
    while (expected < messages) {
      uint32_t got = 0;
      // The bus polls its incoming side; so does the one-way reader.
      if (!server->Receive(&got, true)) continue;
      if (expected == 0) start = Clock::now();
      if (got != expected) {
        std::printf("%s: out of order (%u != %u)\n", kind.c_str(), got, expected);
        break;
      }
      ++expected;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%-8s one-way   %10.0f messages/s  (%u messages of %u bytes)\n", kind.c_str(),
                (messages - 1) / seconds, messages, kMessage);
    platform::WaitProcess(peer, 20000, nullptr);
    platform::CloseProcess(peer);
    delete server;
  }
  // Round trip: one message in flight, the peer echoes it.
  {
    Endpoint* server = MakeEndpoint(kind, true, name + "_2");
    platform::ProcessObject* peer = platform::SpawnProcess(
        self, {"--peer", kind, "echo", name + "_2", std::to_string(kRoundTrips)});
    std::vector<double> micros;
    micros.reserve(kRoundTrips);
    for (uint32_t i = 0; i < kRoundTrips; ++i) {
      const auto t0 = Clock::now();
      while (!server->Send(i)) platform::SleepMs(0);
      server->Publish();
      uint32_t got = 0;
      if (!server->Receive(&got, kind != "classic")) break;
      micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    const double p50 = Percentile(micros, 0.50);
    const double p99 = Percentile(micros, 0.99);
    std::printf("%-8s round-trip p50 %7.1f us  p99 %7.1f us  (%s)\n", kind.c_str(), p50, p99,
                kind == "classic" ? "event wake-ups" : "polling");
    platform::WaitProcess(peer, 20000, nullptr);
    platform::CloseProcess(peer);
    delete server;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::string(argv[1]) == "--peer") {
    return RunPeer(argv[2], argv[3], argv[4], static_cast<uint32_t>(std::stoul(argv[5])));
  }
  const uint32_t messages = argc > 1 ? static_cast<uint32_t>(std::stoul(argv[1])) : 2000000;
  // An optional second argument names one link kind to measure.
  for (const char* kind : {"classic", "v2", "v2batch"}) {
    if (argc <= 2 || kind == std::string(argv[2])) Bench(kind, messages);
  }
  return 0;
}
