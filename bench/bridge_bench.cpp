// bridge_bench: bus A -> orvex-bridge -> NATS -> orvex-bridge -> bus B, beside a direct
// NATS publisher -> subscriber pair on the same server, in one run. Prints a markdown
// table: latency p50/p99 at steady rates, and values/s flat out.
//   bridge_bench [seconds per rate row, default 2] [values flat out, default 300000]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bridge/nats_connection.h"
#include "bridge/testing/nats_server.h"
#include "bus/rtd_server.h"
#include "client/client_session.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "protocol/message_codes.h"

namespace {

using namespace orvex;
using Clock = std::chrono::steady_clock;

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

// Latencies and counts seen by a receiver; any thread.
struct Sink {
  std::mutex lock;
  std::vector<int64_t> latencies_ns;
  int64_t last_receive_ns = 0;
  void Add(int64_t sent_ns) {
    const int64_t now = NowNs();
    std::lock_guard<std::mutex> hold(lock);
    latencies_ns.push_back(now - sent_ns);
    last_receive_ns = now;
  }
  size_t Count() {
    std::lock_guard<std::mutex> hold(lock);
    return latencies_ns.size();
  }
  void Reset() {
    std::lock_guard<std::mutex> hold(lock);
    latencies_ns.clear();
  }
};

struct Row {
  std::string path, rate;
  size_t sent = 0, delivered = 0;
  double seconds = 0, p50_us = 0, p99_us = 0;
};

double Percentile(std::vector<int64_t> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return static_cast<double>(v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))]) /
         1000.0;
}

// Sends `count` stamps through `send` at `rate` per second (0: flat out), then waits
// until the sink is quiet for 500 ms.
Row Run(const std::string& path, const std::string& rate_name, uint32_t rate, size_t count,
        Sink* sink, const std::function<bool(int64_t)>& send) {
  sink->Reset();
  Row row{path, rate_name};
  const int64_t start = NowNs();
  for (size_t i = 0; i < count; ++i) {
    if (rate > 0) {
      const int64_t due = start + static_cast<int64_t>(i) * 1000000000LL / rate;
      while (NowNs() < due) std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    while (!send(NowNs())) std::this_thread::yield();
    ++row.sent;
  }
  size_t seen = 0;
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const size_t now = sink->Count();
    if (now == seen) break;
    seen = now;
  }
  std::lock_guard<std::mutex> hold(sink->lock);
  row.delivered = sink->latencies_ns.size();
  row.seconds = static_cast<double>(sink->last_receive_ns - start) / 1e9;
  row.p50_us = Percentile(sink->latencies_ns, 0.50);
  row.p99_us = Percentile(sink->latencies_ns, 0.99);
  return row;
}

std::unique_ptr<RtdServer> Bus(const std::string& base) {
  RtdServer::Options options;
  options.base_name = base;
  return std::make_unique<RtdServer>(std::move(options));
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2;
  const size_t flat = argc > 2 ? static_cast<size_t>(std::atol(argv[2])) : 300000;
  bridge::test::NatsServer server;
  if (!server.Start()) {
    std::fprintf(stderr, "bridge_bench: nats-server did not start\n");
    return 1;
  }
  const std::string tag = std::to_string(platform::CurrentProcessId());
  const std::string bus_a = "Local\\BridgeBenchA" + tag, bus_b = "Local\\BridgeBenchB" + tag;
  auto a = Bus(bus_a);
  auto b = Bus(bus_b);
  std::vector<platform::ProcessObject*> bridges;
  for (const std::string& args : {bus_a, bus_b}) {
    std::vector<std::string> argv_bridge = {"--servers", server.url(), "--bus", args};
    if (args == bus_a) argv_bridge.insert(argv_bridge.end(), {"--export", "@ABC:T"});
    bridges.push_back(platform::SpawnProcess(ORVEX_BRIDGE_PATH, argv_bridge));
  }
  client::ClientSession publisher, cell;
  publisher.Connect(bus_a, client::LinkKind::kV2, 10000);
  publisher.Register("ABC", "bench publisher", true, false, 10000);
  client::BusReceived request;
  while (publisher.Poll(&request, 10000) == client::kSessionOk &&
         client::ClassicCodeOf(request.code) != MSG_TOPIC) {
  }
  const uint32_t topic = request.handle;
  Sink bridged, direct;
  cell.Connect(bus_b, client::LinkKind::kV2, 10000);
  cell.Register("", "bench cell", false, true, 10000);
  cell.SetHandler([&](const client::BusReceived& m) {
    if (client::ClassicCodeOf(m.code) == MSG_VALUE) bridged.Add(m.value.Int64());
  });
  cell.Send([](client::BusClient& bus) { return bus.RequestTopic(1, "@NATS:T"); });
  const auto send_bus = [&](int64_t stamp) {
    RtdValue value;
    value.SetInt64(stamp);
    return publisher.Send([&](client::BusClient& bus) { return bus.Publish(topic, value); }) ==
           client::kSessionOk;
  };
  // Until the chain is up, stamps go nowhere: wait for one to arrive.
  const int64_t setup = NowNs();
  while (bridged.Count() == 0 && NowNs() - setup < 20000000000LL) {
    send_bus(NowNs());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }

  bridge::NatsConnection pub, sub;
  bridge::NatsOptions options;
  options.servers = {server.url()};
  pub.Start(options);
  sub.Start(options);
  pub.WaitConnected(10000);
  sub.WaitConnected(10000);
  sub.Subscribe("direct.T",
                [&](const bridge::NatsOp& op) { direct.Add(std::atoll(op.payload.c_str())); });
  sub.Flush(10000);
  const auto send_direct = [&](int64_t stamp) {
    return pub.Publish("direct.T", std::to_string(stamp));
  };

  std::vector<Row> rows;
  for (const uint32_t rate : {1000u, 10000u}) {
    const std::string name = std::to_string(rate) + "/s";
    rows.push_back(Run("bus A → NATS → bus B", name, rate, rate * seconds, &bridged, send_bus));
    rows.push_back(
        Run("nats pub → sub (direct)", name, rate, rate * seconds, &direct, send_direct));
  }
  rows.push_back(Run("bus A → NATS → bus B", "flat out", 0, flat, &bridged, send_bus));
  rows.push_back(Run("nats pub → sub (direct)", "flat out", 0, flat, &direct, send_direct));

  std::printf("| path | rate | sent | delivered | delivered/s | p50 µs | p99 µs |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
  for (const Row& r : rows) {
    std::printf("| %s | %s | %zu | %zu | %.0f | %.1f | %.1f |\n", r.path.c_str(), r.rate.c_str(),
                r.sent, r.delivered,
                r.seconds > 0 ? static_cast<double>(r.delivered) / r.seconds : 0, r.p50_us,
                r.p99_us);
  }
  cell.SetHandler({});
  cell.Close("bench done", 1000);
  publisher.Close("bench done", 1000);
  pub.Stop();
  sub.Stop();
  for (platform::ProcessObject* p : bridges) {
    platform::KillProcess(p);
    int code = 0;
    platform::WaitProcess(p, 5000, &code);
    platform::CloseProcess(p);
  }
  return 0;
}
