#include "bench/peer_run.h"

#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "bench/peer_orvex_client.h"
#include "bench/peer_systems.h"
#include "platform/clock.h"

namespace orvex::bench {

std::string Family(const std::string& system) {
  if (system.rfind("orvex", 0) == 0) return "orvex";
  if (system.rfind("zmq", 0) == 0) return "zmq";
  return system;
}

Hub::Hub(const std::string& self, const Plan& plan, uint64_t backlog)
    : plan_(plan), events_(plan_) {
  if (Family(plan.system) == "orvex") {
    // The bus writes the number of values it conflated to the "hub" result when it
    // stops.
    std::vector<std::string> args = {plan.hub,  plan.EventName("hubstop"),
                                     "--stats", plan.ResultPath("hub"),
                                     "--ready", plan.EventName("hub")};
    if (backlog != 0) args.insert(args.end(), {"--backlog", std::to_string(backlog)});
    if (plan.system.find("-block") != std::string::npos) {
      args.insert(args.end(), {"--policy", "block"});
    }
    // Clients started before the bus listens would find no bus.
    events_.IsSet("hub");
    process_ = platform::SpawnProcess(BUS_HOST_PATH, args);
    ok_ = process_ != nullptr && events_.Wait("hub", 10000);
  } else if (Family(plan.system) == "zmq") {
    std::vector<std::string> args = {"role", "zmq-hub"};
    for (const auto& a : plan.ToArgs()) args.push_back(a);
    process_ = platform::SpawnProcess(self, args);
    ok_ = events_.Wait("hub", 10000);
  } else if (plan.system == "iceoryx") {
    // Through a shell only to silence its log; exec keeps the process id RouDi's.
    process_ =
        platform::SpawnProcess("/bin/sh", {"-c", "exec /usr/bin/iox-roudi -l off >/dev/null 2>&1"});
    platform::SleepMs(1000);  // RouDi has no ready signal; it sets up in well under this
  }
  ok_ = ok_ && process_ != nullptr;
}

Hub::~Hub() {
  if (process_ == nullptr) return;
  int code = 0;
  if (plan_.system == "iceoryx") {
    // RouDi cleans its shared memory only when asked to stop by a signal.
    ::kill(static_cast<pid_t>(Pid()), SIGTERM);
  } else {
    events_.Set("hubstop");
  }
  if (!platform::WaitProcess(process_, 10000, &code)) platform::KillProcess(process_);
  platform::WaitProcess(process_, 2000, &code);
  platform::CloseProcess(process_);
}

uint32_t Hub::Pid() const {
  return process_ == nullptr ? 0 : platform::ProcessId(process_);
}

double Hub::MemoryMib(const std::string& field) const {
  const uint64_t kb = OtherProcessMemoryKb(Pid(), field);
  return kb == 0 ? -1 : static_cast<double>(kb) / 1024.0;
}

SyscallCounter::SyscallCounter(uint32_t pid, const std::string& file) : file_(file) {
  std::filesystem::remove(file_);
  started_ns_ = NowNs();
  if (pid == 0) return;
  process_ = platform::SpawnProcess(
      "/bin/sh", {"-c", "exec perf stat -e raw_syscalls:sys_enter -x, -o '" + file_ + "' -p " +
                            std::to_string(pid) + " >/dev/null 2>&1"});
  // perf needs a moment to attach; what it misses of the quiet hub is nothing.
  platform::SleepMs(300);
}

SyscallCounter::~SyscallCounter() {
  Stop();
}

double SyscallCounter::Stop() {
  if (process_ != nullptr) {
    stopped_ns_ = NowNs();
    // perf writes its count when interrupted.
    ::kill(static_cast<pid_t>(platform::ProcessId(process_)), SIGINT);
    int code = 0;
    if (!platform::WaitProcess(process_, 5000, &code)) platform::KillProcess(process_);
    platform::CloseProcess(process_);
    process_ = nullptr;
  }
  std::ifstream in(file_);
  std::string line;
  while (std::getline(in, line)) {
    // "<count>,,raw_syscalls:sys_enter,..."; "<not counted>" where perf could not.
    if (line.find("raw_syscalls:sys_enter") == std::string::npos) continue;
    const std::string count = line.substr(0, line.find(','));
    if (count.empty() || count.find_first_not_of("0123456789") != std::string::npos) return -1;
    return static_cast<double>(std::stoull(count));
  }
  return -1;
}

namespace {

platform::ProcessObject* SpawnRole(const std::string& self, const std::string& role,
                                   const Plan& plan) {
  std::vector<std::string> args = {"role", role};
  for (const auto& a : plan.ToArgs()) args.push_back(a);
  return platform::SpawnProcess(self, args);
}

void RemoveRunFiles(const Plan& plan) {
  std::error_code ignored;
  for (const auto& who : std::filesystem::directory_iterator(plan.dir, ignored)) {
    if (who.path().filename().string().rfind(plan.run + ".", 0) == 0) {
      std::filesystem::remove(who.path(), ignored);
    }
  }
}

// The children of one run, stopped and closed however the run ends.
struct Children {
  explicit Children(RunEvents& e) : events(e) {}
  Children(const Children&) = delete;
  Children& operator=(const Children&) = delete;
  RunEvents& events;
  std::vector<platform::ProcessObject*> subs;
  platform::ProcessObject* pub = nullptr;
  ~Children() {
    events.Set("stop");
    for (auto* c : subs) Close(c);
    Close(pub);
  }
  static void Close(platform::ProcessObject* p) {
    int code = 0;
    if (p == nullptr) return;
    if (!platform::WaitProcess(p, 5000, &code)) platform::KillProcess(p);
    platform::CloseProcess(p);
  }
  // The exit code, or "-" while it runs.
  static std::string ExitText(platform::ProcessObject* p) {
    int code = -1;
    return p != nullptr && platform::WaitProcess(p, 0, &code) ? std::to_string(code) : "-";
  }
};

double PerDeliveryUs(uint64_t ns, uint64_t delivered) {
  return delivered == 0 ? -1 : static_cast<double>(ns) / 1e3 / static_cast<double>(delivered);
}

}  // namespace

Row RunOne(const std::string& self, Plan plan, const RunOptions& options, Hub* shared_hub) {
  Row row;
  row.system = plan.system;
  row.subs = options.subs;
  row.size = plan.size;
  plan.subs = options.subs;
  std::unique_ptr<Hub> own_hub;
  Hub* hub = shared_hub;
  if (hub == nullptr) {
    own_hub = std::make_unique<Hub>(self, plan, OrvexLinkBytes(plan));
    hub = own_hub.get();
  }
  if (!hub->ok()) {
    row.note = "hub did not start";
    return row;
  }
  RunEvents events(plan);
  const std::string kind = Family(plan.system);
  Children children(events);
  for (uint32_t i = 0; i < options.subs; ++i) {
    Plan sub = plan;
    sub.index = i;
    if (options.slow_rate != 0 && i == options.slow_index) sub.read_rate = options.slow_rate;
    children.subs.push_back(SpawnRole(self, kind + "-sub", sub));
  }
  children.pub = SpawnRole(self, kind + "-pub", plan);
  bool ready = true;
  uint32_t waiting = 0;
  // Many topics take a while to ask for on a loaded machine.
  const uint32_t ready_ms = plan.topics == 0 ? 30000 : 120000;
  for (; waiting < options.subs && ready; ++waiting) {
    ready = events.Wait("ready." + std::to_string(waiting), ready_ms);
  }
  if (!ready) {
    // Say which subscriber stalled and whether it, or the publisher, had already ended.
    row.note = "subscriber " + std::to_string(waiting - 1) + " not ready (exit " +
               Children::ExitText(children.subs[waiting - 1]) + ", publisher exit " +
               Children::ExitText(children.pub) + ")";
    events.Set("quiet");
    events.Set("go");
    return row;
  }
  events.Set("quiet");
  if (options.idle_ms != 0) {
    SyscallCounter calls(hub->Pid(), plan.ResultPath("idlecalls"));
    const uint64_t idle0 = hub->CpuNs();
    const uint64_t idle_t0 = NowNs();
    platform::SleepMs(options.idle_ms);
    row.hub_idle_pct =
        100.0 * static_cast<double>(hub->CpuNs() - idle0) / static_cast<double>(NowNs() - idle_t0);
    const double count = calls.Stop();
    if (count >= 0) row.hub_idle_syscalls_s = count / calls.Seconds();
  }
  SyscallCounter calls(hub->Pid(), plan.ResultPath("calls"));
  const uint64_t hub0 = hub->CpuNs();
  events.Set("go");
  for (auto*& c : children.subs) {
    int code = 0;
    if (c != nullptr && !platform::WaitProcess(c, plan.duration_ms + 60000, &code)) {
      platform::KillProcess(c);
      row.note = "a subscriber hung";
    }
  }
  const uint64_t hub_cpu = hub->CpuNs() - hub0;
  const double syscalls = calls.Stop();
  row.hub_peak_mib = hub->MemoryMib("VmHWM");
  events.Set("stop");
  Children::Close(children.pub);
  children.pub = nullptr;

  PubResult p;
  if (!ReadPubResult(plan.ResultPath("pub"), &p)) {
    row.note = "no publisher result";
    return row;
  }
  std::vector<uint32_t> latencies, slow_latencies, drains;
  uint64_t delivered = 0, subs_cpu = 0, last = p.end_ns, slow_delivered = 0, slow_last = 0;
  for (uint32_t i = 0; i < options.subs; ++i) {
    SubResult s;
    if (!ReadSubResult(plan.ResultPath("sub" + std::to_string(i)), &s)) {
      row.note = "missing subscriber result";
      continue;
    }
    subs_cpu += s.cpu_ns;
    drains.insert(drains.end(), s.drain_oldest_us.begin(), s.drain_oldest_us.end());
    if (options.slow_rate != 0 && i == options.slow_index) {
      slow_delivered = s.received;
      slow_last = s.last_ns;
      slow_latencies = s.latency_ns;
      continue;
    }
    delivered += s.received;
    last = std::max(last, s.last_ns);
    latencies.insert(latencies.end(), s.latency_ns.begin(), s.latency_ns.end());
  }
  // A bus of its own has stopped now and left its count of conflated values.
  own_hub.reset();
  double conflated = -1;
  if (std::ifstream stats(plan.ResultPath("hub")); stats >> conflated) row.conflated_pct = 0;
  const double seconds = static_cast<double>(last - p.start_ns) / 1e9;
  const double pub_seconds = static_cast<double>(p.end_ns - p.start_ns) / 1e9;
  // A row without values (the idle book) measures only what happened before them.
  row.ok = (delivered > 0 || plan.duration_ms == 0) && row.note.empty();
  row.sent_per_s = pub_seconds > 0 ? static_cast<double>(p.sent) / pub_seconds : 0;
  row.delivered_per_s = seconds > 0 ? static_cast<double>(delivered) / seconds : 0;
  // Values a conflating bus replaced by newer ones are not lost: the newest arrived.
  // The bus counts them over every reader, the slow one included.
  const double all_expected = static_cast<double>(p.sent) * options.subs;
  const double missing =
      all_expected - static_cast<double>(delivered + slow_delivered) - std::max(conflated, 0.0);
  row.lost_pct = all_expected > 0 ? 100.0 * std::max(missing, 0.0) / all_expected : 0;
  if (row.conflated_pct >= 0 && all_expected > 0) {
    row.conflated_pct = 100.0 * conflated / all_expected;
  }
  if (options.slow_rate != 0 && slow_last > p.start_ns) {
    // Over its own time: it goes on reading what waited for it after the others end.
    row.slow_delivered_per_s =
        static_cast<double>(slow_delivered) / (static_cast<double>(slow_last - p.start_ns) / 1e9);
    row.slow_p50_us = PercentileUs(slow_latencies, 0.50);
  }
  row.p50_us = PercentileUs(latencies, 0.50);
  row.p99_us = PercentileUs(latencies, 0.99);
  row.p999_us = PercentileUs(latencies, 0.999);
  if (!drains.empty()) {
    // The ages are in µs, so the "µs" percentile of them is in ms.
    row.drain_oldest_p50_ms = PercentileUs(drains, 0.50);
    row.drain_oldest_max_ms = PercentileUs(drains, 1.0);
  }
  const uint64_t all_delivered = delivered + slow_delivered;
  row.hub_cpu_us = PerDeliveryUs(hub_cpu, all_delivered);
  row.pub_cpu_us = PerDeliveryUs(p.cpu_ns, all_delivered);
  row.subs_cpu_us = PerDeliveryUs(subs_cpu, all_delivered);
  row.cpu_us = PerDeliveryUs(hub_cpu + p.cpu_ns + subs_cpu, all_delivered);
  if (pub_seconds > 0) row.hub_cpu_pct = 100.0 * static_cast<double>(hub_cpu) / 1e9 / seconds;
  if (syscalls >= 0 && p.sent > 0) row.hub_syscalls = syscalls / static_cast<double>(p.sent);
  RemoveRunFiles(plan);
  return row;
}

Row RunStorm(const std::string& self, Plan plan, bool publisher_first) {
  Row row;
  row.system = plan.system;
  row.subs = 1;
  row.size = plan.size;
  // The bus's own bound per link: a hundred thousand topic messages to the publisher
  // are no values, so nothing conflates them.
  Hub hub(self, plan, 0);
  if (!hub.ok()) {
    row.note = "hub did not start";
    return row;
  }
  RunEvents events(plan);
  Children children(events);
  if (publisher_first) children.pub = SpawnRole(self, "orvex-storm-pub", plan);
  children.subs.push_back(SpawnRole(self, "orvex-storm-sub", plan));
  if (!events.Wait("ready.0", 30000)) {
    row.note = "subscriber not ready (exit " + Children::ExitText(children.subs[0]) + ")";
    return row;
  }
  if (publisher_first && !events.Wait("pubready", 30000)) {
    row.note = "publisher not ready (exit " + Children::ExitText(children.pub) + ")";
    return row;
  }
  const double before = hub.MemoryMib("VmRSS");
  const uint64_t hub0 = hub.CpuNs();
  events.Set("go");
  if (!publisher_first) {
    if (!events.Wait("requested", 120000)) {
      row.note = "the bus did not take the requests";
      return row;
    }
    children.pub = SpawnRole(self, "orvex-storm-pub", plan);
  }
  if (!events.Wait("closed", 180000)) {
    row.note = "the storm did not end";
    return row;
  }
  const uint64_t hub_cpu = hub.CpuNs() - hub0;
  row.hub_before_mib = before;
  row.hub_after_mib = hub.MemoryMib("VmRSS");
  row.hub_peak_mib = hub.MemoryMib("VmHWM");
  events.Set("stop");
  Children::Close(children.pub);
  children.pub = nullptr;
  std::vector<uint64_t> numbers, pub;
  if (!ReadNumbers(plan.ResultPath("sub0"), StormTimes::kNumbers, &numbers) ||
      !ReadNumbers(plan.ResultPath("pub"), 2, &pub)) {
    row.note = "missing results";
    return row;
  }
  const StormTimes t = StormTimes::FromNumbers(numbers);
  auto since = [](uint64_t from, uint64_t to) {
    return to == 0 || to < from ? -1.0 : static_cast<double>(to - from) / 1e9;
  };
  row.ok = t.closed_ns != 0 && t.firsts == plan.topics;
  if (!row.ok) row.note = std::to_string(t.firsts) + " first values";
  row.storm_taken_s = since(t.start_ns, t.taken_ns);
  row.storm_last_first_s = since(t.start_ns, t.last_first_ns);
  if (!publisher_first) row.storm_after_register_s = since(pub[0], t.last_first_ns);
  row.storm_closed_s = since(t.last_first_ns, t.closed_ns);
  row.hub_cpu_us = PerDeliveryUs(hub_cpu, plan.topics);
  RemoveRunFiles(plan);
  return row;
}

}  // namespace orvex::bench
