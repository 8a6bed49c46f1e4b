// The Excel side's costs, printed (not asserted): publisher send -> the server's
// notification (the moment the DLL posts UpdateNotify to Excel's thread) at 1000/s;
// one refresh of 10,000 and 100,000 changed cells (time and bytes held per topic); the
// cost of one Excel holding the most topics the bus gives a client open.
//   rtd_bench
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bus/rtd_server.h"
#include "client/bus_client.h"
#include "protocol/message_codes.h"
#include "rtd/bus_link.h"

namespace {

using Clock = std::chrono::steady_clock;
using orvex::RtdValue;
namespace rtd = orvex::rtd;
namespace client = orvex::client;

double Us(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

long RssKb() {
  FILE* status = std::fopen("/proc/self/statm", "r");
  long pages = 0, resident = 0;
  if (status) {
    if (std::fscanf(status, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(status);
  }
  return resident * 4;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

void NotifyLatency(const std::string& bus_name) {
  rtd::RtdTopicBook book;
  std::mutex lock;
  std::condition_variable woke;
  Clock::time_point notified{};
  bool pending = false;
  rtd::RtdBusLink::Options options;
  options.bus = bus_name;
  options.notify = [&] {
    std::lock_guard<std::mutex> hold(lock);
    notified = Clock::now();
    pending = true;
    woke.notify_all();
  };
  rtd::RtdBusLink link(&book, options);
  client::BusClient publisher;
  publisher.Connect(bus_name, client::LinkKind::kV2);
  publisher.RegisterAndWait("BENCH", "bench publisher", true, false, nullptr);
  link.Start();
  auto opened = book.Connect(1, "@BENCH:PRICE");
  link.Open(opened.handle);
  client::BusReceived request;
  if (!publisher.ReceiveCode(orvex::MSG_TOPIC, &request, 10000)) {
    std::printf("no topic request\n");
    return;
  }
  std::vector<double> latencies;
  const auto period = std::chrono::milliseconds(1);
  auto next = Clock::now();
  for (int i = 1; i <= 3000; ++i) {
    std::this_thread::sleep_until(next);
    next += period;
    RtdValue v;
    v.SetInt32(i);
    const auto sent = Clock::now();
    publisher.Publish(request.handle, v);
    std::unique_lock<std::mutex> hold(lock);
    if (!woke.wait_for(hold, std::chrono::seconds(2), [&] { return pending; })) continue;
    pending = false;
    latencies.push_back(Us(notified - sent));
    hold.unlock();
    book.Refresh();  // Excel's RefreshData re-arms the next notification
  }
  std::printf("| send -> UpdateNotify, 1000/s, %zu values | p50 %.0f µs, p99 %.0f µs | |\n",
              latencies.size(), Percentile(latencies, 0.5), Percentile(latencies, 0.99));
  link.Stop();
}

void RefreshCost(size_t topics) {
  rtd::RtdTopicBook book;
  std::vector<uint32_t> handles;
  const long rss_before = RssKb();
  for (size_t i = 0; i < topics; ++i) {
    // Below the bus's per-client limit the book refuses more topics; cells beyond it
    // share texts, as many cells of a sheet do.
    const std::string text = "@ABC:SYM" + std::to_string(i % rtd::kMaxBusTopics) + ".LAST";
    handles.push_back(book.Connect(static_cast<int32_t>(i + 1), text).handle);
  }
  const long rss_after = RssKb();
  RtdValue v;
  v.SetDouble(101.25);
  for (uint32_t handle : handles) book.OnValue(handle, v);
  const auto start = Clock::now();
  const auto cells = book.Refresh();
  const double ms = Us(Clock::now() - start) / 1000;
  // What RefreshData hands Excel on top: a 2 x n array of 24-byte VARIANTs (x86_64).
  const double array_mib = 2.0 * 24.0 * static_cast<double>(cells.size()) / (1024 * 1024);
  std::printf(
      "| refresh of %zu changed cells (%zu bus topics) | %.2f ms | book %.0f B/topic, "
      "RSS +%.0f B/cell; RefreshData's array %.1f MiB |\n",
      cells.size(), book.bus_topic_count(), ms,
      static_cast<double>(book.ApproximateBytes()) / static_cast<double>(book.bus_topic_count()),
      static_cast<double>(rss_after - rss_before) * 1024 / static_cast<double>(topics), array_mib);
}

void OpenTopicsCost(const std::string& bus_name) {
  rtd::RtdTopicBook book;
  rtd::RtdBusLink::Options options;
  options.bus = bus_name;
  rtd::RtdBusLink link(&book, options);
  link.Start();
  while (!link.connected()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const long rss_before = RssKb();
  const auto start = Clock::now();
  for (size_t i = 0; i < rtd::kMaxBusTopics; ++i) {
    auto opened = book.Connect(static_cast<int32_t>(i + 1), "@BUS:SYM" + std::to_string(i));
    link.Open(opened.handle);
  }
  const bool refused =
      book.Connect(-1, "@BUS:ONE.MORE").outcome == rtd::ConnectOutcome::kTooManyTopics;
  // The bus answers each with its fixed text: the last answer means all are open.
  size_t answered = 0;
  const auto give_up = start + std::chrono::seconds(120);
  while (answered < rtd::kMaxBusTopics && Clock::now() < give_up) {
    answered += book.Refresh().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const double ms = Us(Clock::now() - start) / 1000;
  std::printf(
      "| %zu topics opened by one Excel (bus in process) | %.0f ms | RSS +%.0f B/topic "
      "(bus + link + book) | topic %zu refused: %s |\n",
      rtd::kMaxBusTopics, ms,
      static_cast<double>(RssKb() - rss_before) * 1024 / static_cast<double>(rtd::kMaxBusTopics),
      rtd::kMaxBusTopics + 1, refused ? "yes" : "no");
  link.Stop();
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const std::string bus_name = "Local\\OrvexRtdBench" + std::to_string(getpid());
  orvex::RtdServer::Options options;
  options.base_name = bus_name;
  options.shutdown_grace_ms = 50;
  auto bus = std::make_unique<orvex::RtdServer>(options);
  NotifyLatency(bus_name);
  RefreshCost(10000);
  RefreshCost(100000);
  OpenTopicsCost(bus_name);
  return 0;
}
