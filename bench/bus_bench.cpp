// Values per second and publish-to-receive latency through a bus in this process, for
// one publisher and 1 or 10 subscribers over each link kind (16-byte values), and the
// CPU an idle bus uses. Clients run on their own threads over the real shared memory.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

#include "bus/rtd_server.h"
#include "client/bus_client.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "protocol/message_codes.h"

namespace orvex {
namespace {

using Clock = std::chrono::steady_clock;

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

struct Shared {
  std::atomic<uint64_t> ready{0};
  std::vector<std::unique_ptr<std::atomic<uint64_t>>> received;
  std::vector<std::vector<int64_t>> latencies;  // one list per subscriber
  std::atomic<bool> stop{false};
};

void Subscriber(const std::string& base, client::LinkKind kind, Shared* shared, size_t index,
                bool record) {
  client::BusClient bus;
  if (!bus.Connect(base, kind, 10000) || !bus.RegisterAndWait("", "bench", false, true, nullptr)) {
    std::fprintf(stderr, "subscriber %zu could not connect\n", index);
    return;
  }
  bus.RequestTopic(1, "@B:BENCH");
  shared->ready.fetch_add(1);
  client::BusReceived got;
  while (!shared->stop.load()) {
    if (!bus.Receive(&got, 10)) continue;
    if (client::ClassicCodeOf(got.code) != MSG_VALUE || got.value.Type() != RtdValueType::kBytes ||
        got.value.Bytes().size() != 16) {
      continue;
    }
    int64_t sent_ns;
    std::memcpy(&sent_ns, got.value.Bytes().data() + 8, 8);
    if (record) shared->latencies[index].push_back(NowNs() - sent_ns);
    shared->received[index]->fetch_add(1);
  }
}

struct Result {
  double values_per_s = 0;
  double p50_us = 0;
  double p99_us = 0;
};

// window 0: as fast as the slowest subscriber allows (512 in flight); window 1: one
// value at a time, for latency.
Result Run(client::LinkKind kind, size_t subscribers, uint64_t count, uint64_t window) {
  static int run = 0;
  const std::string base = "Local\\OrvexBench_" + std::to_string(platform::CurrentProcessId()) +
                           "_" + std::to_string(++run);
  RtdServer::Options options;
  options.base_name = base;
  options.shutdown_grace_ms = 0;
  RtdServer server(options);
  Shared shared;
  for (size_t i = 0; i < subscribers; ++i) {
    shared.received.push_back(std::make_unique<std::atomic<uint64_t>>(0));
  }
  shared.latencies.resize(subscribers);
  const bool record = window == 1;
  std::vector<std::thread> threads;
  for (size_t i = 0; i < subscribers; ++i) {
    threads.emplace_back(Subscriber, base, kind, &shared, i, record);
  }
  client::BusClient publisher;
  Result result;
  client::BusReceived got;
  if (publisher.Connect(base, kind, 10000) &&
      publisher.RegisterAndWait("B", "bench", true, false, nullptr) &&
      publisher.ReceiveCode(MSG_TOPIC, &got, 10000)) {
    while (shared.ready.load() < subscribers)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const uint32_t topic = got.handle;
    auto slowest = [&] {
      uint64_t least = UINT64_MAX;
      for (auto& r : shared.received) least = std::min(least, r->load());
      return least;
    };
    const auto start = Clock::now();
    for (uint64_t seq = 0; seq < count; ++seq) {
      while (seq - slowest() >= window) {
        if (window > 1) std::this_thread::yield();
      }
      uint8_t bytes[16];
      const int64_t now = NowNs();
      std::memcpy(bytes, &seq, 8);
      std::memcpy(bytes + 8, &now, 8);
      RtdValue value;
      value.SetBytes(bytes);
      publisher.Publish(topic, value);
    }
    while (slowest() < count) std::this_thread::yield();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.values_per_s = static_cast<double>(count * subscribers) / seconds;
  } else {
    std::fprintf(stderr, "publisher could not connect\n");
  }
  shared.stop.store(true);
  for (auto& t : threads) t.join();
  if (record) {
    std::vector<int64_t> all;
    for (auto& list : shared.latencies) all.insert(all.end(), list.begin(), list.end());
    std::sort(all.begin(), all.end());
    if (!all.empty()) {
      result.p50_us = static_cast<double>(all[all.size() / 2]) / 1000.0;
      result.p99_us = static_cast<double>(all[all.size() * 99 / 100]) / 1000.0;
    }
  }
  return result;
}

double IdleCpuPercent() {
  RtdServer::Options options;
  options.base_name = "Local\\OrvexBenchIdle_" + std::to_string(platform::CurrentProcessId());
  options.shutdown_grace_ms = 0;
  RtdServer server(options);
  client::BusClient idle;  // one registered client that says nothing
  idle.Connect(options.base_name, client::LinkKind::kClassic, 10000);
  idle.RegisterAndWait("", "idle", false, true, nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::clock_t cpu_start = std::clock();
  const auto wall_start = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(3));
  const double cpu = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  const double wall = std::chrono::duration<double>(Clock::now() - wall_start).count();
  return 100.0 * cpu / wall;
}

}  // namespace
}  // namespace orvex

int main() {
  using orvex::client::LinkKind;
  std::printf("%-8s %-5s %14s %12s %12s\n", "link", "subs", "values/s", "p50 us", "p99 us");
  for (LinkKind kind : {LinkKind::kClassic, LinkKind::kV2}) {
    for (size_t subs : {size_t{1}, size_t{10}}) {
      const auto throughput = orvex::Run(kind, subs, 200000 / subs, 512);
      const auto latency = orvex::Run(kind, subs, 2000, 1);
      std::printf("%-8s %-5zu %14.0f %12.1f %12.1f\n",
                  kind == LinkKind::kClassic ? "classic" : "v2", subs, throughput.values_per_s,
                  latency.p50_us, latency.p99_us);
    }
  }
  std::printf("idle bus CPU: %.2f%% of one core (one silent client, 3 s)\n",
              orvex::IdleCpuPercent());
  return 0;
}
