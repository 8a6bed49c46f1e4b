// peer_bench: runs one workload through our bus and through peer systems on this
// machine and prints one table. Every publisher, subscriber and hub is a process of its
// own (this program in a role, bus_host, or iceoryx's RouDi). Every row is run
// --reps times (a failed run once more) and reported as the median with the spread.
//   peer_bench [--systems a,b] [--subs 1,10,29] [--sizes 16] [--rates 1000,10000,0]
//              [--reps 3] [--duration MS] [--idle-subs 1] [--out FILE] [--plot FILE]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/peer_common.h"
#include "bench/peer_systems.h"
#include "platform/clock.h"
#include "platform/process.h"

namespace orvex::bench {
namespace {

struct Row {
  std::string system;
  uint32_t subs = 0;
  uint32_t size = 0;
  std::string mode;
  bool ok = false;
  std::string note;
  double sent_per_s = 0;
  double delivered_per_s = 0;
  double lost_pct = 0;
  double conflated_pct = -1;  // unknown: the hub counts none
  double p50_us = 0, p99_us = 0, p999_us = 0;
  double cpu_s_per_m = 0;
  double hub_idle_pct = -1;  // not measured in this run
};

// Systems that never lose a value by design; they run flat out only, where that
// matters (at a steady rate below capacity they behave as their lossy forms).
bool LosslessComparator(const std::string& system) {
  return system == "zmq-lossless" || system.find("-block") != std::string::npos;
}

std::string Family(const std::string& system) {
  if (system.rfind("orvex", 0) == 0) return "orvex";
  if (system.rfind("zmq", 0) == 0) return "zmq";
  return system;
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    if (!item.empty()) out.push_back(item);
  }
  return out;
}

double Percentile(std::vector<uint32_t>& v, double q) {
  if (v.empty()) return 0;
  const size_t k = std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())));
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
  return v[k] / 1000.0;
}

// A hub the harness starts and stops: bus_host, the zmq proxy role or RouDi.
class Hub {
 public:
  Hub(const std::string& self, const Plan& plan) : plan_(plan), events_(plan_) {
    if (Family(plan.system) == "orvex") {
      // The bus writes the number of values it conflated to the "hub" result when it
      // stops.
      std::vector<std::string> args = {
          plan.hub,  plan.EventName("hubstop"), "--stats",   plan.ResultPath("hub"),
          "--ready", plan.EventName("hub"),     "--backlog", std::to_string(kOrvexLinkBytes)};
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
      process_ = platform::SpawnProcess("/bin/sh",
                                        {"-c", "exec /usr/bin/iox-roudi -l off >/dev/null 2>&1"});
      platform::SleepMs(1000);  // RouDi has no ready signal; it sets up in well under this
    }
    ok_ = ok_ && process_ != nullptr;
  }
  ~Hub() {
    if (process_ == nullptr) return;
    int code = 0;
    if (plan_.system == "iceoryx") {
      // RouDi cleans its shared memory only when asked to stop by a signal.
      std::system(("kill -TERM " + std::to_string(platform::ProcessId(process_))).c_str());
    } else {
      events_.Set("hubstop");
    }
    if (!platform::WaitProcess(process_, 10000, &code)) platform::KillProcess(process_);
    platform::WaitProcess(process_, 2000, &code);
    platform::CloseProcess(process_);
  }
  bool ok() const { return ok_; }
  uint64_t CpuNs() const {
    return process_ == nullptr ? 0 : OtherProcessCpuNs(platform::ProcessId(process_));
  }

 private:
  Plan plan_;
  RunEvents events_;
  platform::ProcessObject* process_ = nullptr;
  bool ok_ = true;
};

platform::ProcessObject* SpawnRole(const std::string& self, const std::string& role,
                                   const Plan& plan) {
  std::vector<std::string> args = {"role", role};
  for (const auto& a : plan.ToArgs()) args.push_back(a);
  return platform::SpawnProcess(self, args);
}

std::string ModeName(const Plan& plan) {
  if (plan.idle_values != 0) return "one value after 1 s idle";
  return plan.rate == 0 ? "flat out" : std::to_string(plan.rate) + "/s";
}

Row RunOne(const std::string& self, Plan plan, uint32_t subs, Hub* shared_hub, bool idle_cpu) {
  Row row;
  row.system = plan.system;
  row.subs = subs;
  row.size = plan.size;
  row.mode = ModeName(plan);
  std::unique_ptr<Hub> own_hub;
  Hub* hub = shared_hub;
  if (hub == nullptr) {
    own_hub = std::make_unique<Hub>(self, plan);
    hub = own_hub.get();
  }
  if (!hub->ok()) {
    row.note = "hub did not start";
    return row;
  }
  RunEvents events(plan);
  const std::string kind = Family(plan.system);
  std::vector<platform::ProcessObject*> children;
  for (uint32_t i = 0; i < subs; ++i) {
    Plan sub = plan;
    sub.index = i;
    children.push_back(SpawnRole(self, kind + "-sub", sub));
  }
  platform::ProcessObject* pub = SpawnRole(self, kind + "-pub", plan);
  auto cleanup = [&] {
    events.Set("stop");
    for (auto* c : children) {
      int code = 0;
      if (c != nullptr && !platform::WaitProcess(c, 5000, &code)) platform::KillProcess(c);
      if (c != nullptr) platform::CloseProcess(c);
    }
    int code = 0;
    if (pub != nullptr && !platform::WaitProcess(pub, 5000, &code)) platform::KillProcess(pub);
    if (pub != nullptr) platform::CloseProcess(pub);
  };
  bool ready = true;
  uint32_t waiting = 0;
  for (; waiting < subs && ready; ++waiting) {
    ready = events.Wait("ready." + std::to_string(waiting), 30000);
  }
  if (!ready) {
    // Say which subscriber stalled and whether it, or the publisher, had already ended.
    int code = -1;
    platform::ProcessObject* stalled = children[waiting - 1];
    row.note =
        "subscriber " + std::to_string(waiting - 1) + " not ready (exit " +
        (stalled != nullptr && platform::WaitProcess(stalled, 0, &code) ? std::to_string(code)
                                                                        : std::string("-")) +
        ", publisher exit ";
    code = -1;
    row.note += (pub != nullptr && platform::WaitProcess(pub, 0, &code) ? std::to_string(code)
                                                                        : std::string("-")) +
                ")";
    events.Set("quiet");
    events.Set("go");
    cleanup();
    return row;
  }
  events.Set("quiet");
  platform::SleepMs(200);
  if (idle_cpu) {
    const uint64_t idle0 = hub->CpuNs();
    const uint64_t idle_t0 = NowNs();
    platform::SleepMs(1500);
    row.hub_idle_pct =
        100.0 * static_cast<double>(hub->CpuNs() - idle0) / static_cast<double>(NowNs() - idle_t0);
  }
  const uint64_t hub0 = hub->CpuNs();
  events.Set("go");
  for (auto*& c : children) {
    int code = 0;
    if (c != nullptr && !platform::WaitProcess(c, plan.duration_ms + 30000, &code)) {
      platform::KillProcess(c);
      row.note = "a subscriber hung";
    }
  }
  const uint64_t hub_cpu = hub->CpuNs() - hub0;
  cleanup();

  PubResult p;
  if (!ReadPubResult(plan.ResultPath("pub"), &p)) {
    row.note = "no publisher result";
    return row;
  }
  std::vector<uint32_t> latencies;
  uint64_t delivered = 0, cpu = p.cpu_ns + hub_cpu, last = p.end_ns;
  for (uint32_t i = 0; i < subs; ++i) {
    SubResult s;
    if (!ReadSubResult(plan.ResultPath("sub" + std::to_string(i)), &s)) {
      row.note = "missing subscriber result";
      continue;
    }
    delivered += s.received;
    cpu += s.cpu_ns;
    last = std::max(last, s.last_ns);
    latencies.insert(latencies.end(), s.latency_ns.begin(), s.latency_ns.end());
  }
  // A bus of its own has stopped now and left its count of conflated values.
  own_hub.reset();
  double conflated = -1;
  if (std::ifstream stats(plan.ResultPath("hub")); stats >> conflated) {
    row.conflated_pct = 0;
  }
  const double seconds = static_cast<double>(last - p.start_ns) / 1e9;
  row.ok = delivered > 0 && row.note.empty();
  row.sent_per_s = static_cast<double>(p.sent) / (static_cast<double>(p.end_ns - p.start_ns) / 1e9);
  row.delivered_per_s = static_cast<double>(delivered) / seconds;
  const double expected = static_cast<double>(p.sent) * subs;
  // Values a conflating bus replaced by newer ones are not lost: the newest arrived.
  const double missing = expected - static_cast<double>(delivered) - std::max(conflated, 0.0);
  row.lost_pct = expected > 0 ? 100.0 * std::max(missing, 0.0) / expected : 0;
  if (row.conflated_pct >= 0 && expected > 0) row.conflated_pct = 100.0 * conflated / expected;
  row.p50_us = Percentile(latencies, 0.50);
  row.p99_us = Percentile(latencies, 0.99);
  row.p999_us = Percentile(latencies, 0.999);
  row.cpu_s_per_m =
      delivered > 0 ? static_cast<double>(cpu) / 1e9 / (static_cast<double>(delivered) / 1e6) : 0;
  for (const auto& who : std::filesystem::directory_iterator(plan.dir)) {
    if (who.path().filename().string().rfind(plan.run + ".", 0) == 0) {
      std::filesystem::remove(who.path());
    }
  }
  return row;
}

std::string Format(const char* format, double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, v);
  return buffer;
}

// The runs of one row: its median and spread over the runs that worked.
struct Summary {
  std::vector<Row> runs;
  int reruns = 0;
  std::string failure;  // the last failed run's note

  std::vector<Row> Good() const {
    std::vector<Row> good;
    for (const Row& r : runs) {
      if (r.ok) good.push_back(r);
    }
    return good;
  }
  template <typename Field>
  std::vector<double> Values(Field field) const {
    std::vector<double> v;
    for (const Row& r : Good()) {
      if (field(r) >= 0) v.push_back(field(r));
    }
    std::sort(v.begin(), v.end());
    return v;
  }
  template <typename Field>
  double Median(Field field) const {
    const auto v = Values(field);
    return v.empty() ? -1 : v[v.size() / 2];
  }
  // "median [min-max]" when there is more than one run.
  template <typename Field>
  std::string WithSpread(const char* format, Field field) const {
    const auto v = Values(field);
    if (v.empty()) return "";
    std::string text = Format(format, v[v.size() / 2]);
    if (v.size() > 1)
      text += " [" + Format(format, v.front()) + "–" + Format(format, v.back()) + "]";
    return text;
  }
};

std::string SummaryText(const Row& first, const Summary& s, uint32_t reps) {
  std::string line = "| " + first.system + " | 1 → " + std::to_string(first.subs) + " | " +
                     std::to_string(first.size) + " B | " + first.mode + " | ";
  const auto good = s.Good();
  if (good.empty()) return line + "failed: " + s.failure + " | | | | | | | | | |";
  const double idle = s.Median([](const Row& r) { return r.hub_idle_pct; });
  const double conflated = s.Median([](const Row& r) { return r.conflated_pct; });
  std::string runs = std::to_string(good.size()) + "/" + std::to_string(reps);
  if (s.reruns > 0) runs += ", " + std::to_string(s.reruns) + " re-run";
  if (good.size() < reps) runs += " (" + s.failure + ")";
  // Conflated values are counted only by a bus that conflates ("n/a" for the peers).
  return line + Format("%.0f", s.Median([](const Row& r) { return r.sent_per_s; })) + " | " +
         s.WithSpread("%.0f", [](const Row& r) { return r.delivered_per_s; }) + " | " +
         Format("%.2f", s.Median([](const Row& r) { return r.lost_pct; })) + " | " +
         (conflated < 0 ? std::string("n/a") : Format("%.2f", conflated)) + " | " +
         s.WithSpread("%.1f", [](const Row& r) { return r.p50_us; }) + " | " +
         s.WithSpread("%.1f", [](const Row& r) { return r.p99_us; }) + " | " +
         Format("%.1f", s.Median([](const Row& r) { return r.p999_us; })) + " | " +
         Format("%.2f", s.Median([](const Row& r) { return r.cpu_s_per_m; })) + " | " +
         (idle < 0 ? std::string("") : Format("%.1f", idle)) + " | " + runs + " |";
}

int Harness(const std::string& self, const std::map<std::string, std::string>& options) {
  auto option = [&](const std::string& name, const std::string& fallback) {
    auto it = options.find(name);
    return it == options.end() ? fallback : it->second;
  };
  const auto systems = SplitList(
      option("systems",
             "orvex-v2,orvex-classic,orvex-v2-block,orvex-classic-block,zmq,zmq-lossless,iceoryx"));
  const auto subs_list = SplitList(option("subs", "1,10,29"));
  const auto sizes = SplitList(option("sizes", "16"));
  const auto rates = SplitList(option("rates", "1000,10000,0"));
  const auto idle_subs = SplitList(option("idle-subs", "1"));
  const uint32_t reps = static_cast<uint32_t>(std::stoul(option("reps", "3")));
  const uint32_t duration = static_cast<uint32_t>(std::stoul(option("duration", "1000")));
  const std::string dir = (std::filesystem::temp_directory_path() / "peer_bench").string();
  std::filesystem::create_directories(dir);

  const std::string header =
      "| system | fan-out | value | rate | sent/s | delivered/s | lost % | conflated % | p50 µs "
      "| p99 µs | p99.9 µs | CPU s per M deliveries | hub idle CPU % | runs |\n"
      "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n";
  std::string table = header;
  std::string plot;  // system, fan-out, rate label, sent/s, p50, p99 (medians)
  std::fputs(header.c_str(), stdout);
  uint32_t counter = 0;
  const std::string stem = std::to_string(NowNs() / 1000000 % 100000) + "_";
  for (const auto& system : systems) {
    Plan base;
    base.system = system;
    base.dir = dir;
    base.duration_ms = duration;
    base.run = stem + "roudi";
    // RouDi serves every run of its system; the other hubs live for one run.
    std::unique_ptr<Hub> roudi;
    if (system == "iceoryx") roudi = std::make_unique<Hub>(self, base);
    for (const auto& subs_text : subs_list) {
      const auto subs = static_cast<uint32_t>(std::stoul(subs_text));
      for (const auto& size : sizes) {
        std::vector<Plan> modes;
        for (const auto& r : rates) {
          Plan plan = base;
          plan.rate = static_cast<uint32_t>(std::stoul(r));
          if (!LosslessComparator(system) || plan.rate == 0) modes.push_back(plan);
        }
        const bool idle_row =
            !LosslessComparator(system) &&
            std::find(idle_subs.begin(), idle_subs.end(), subs_text) != idle_subs.end();
        if (idle_row) {
          Plan plan = base;
          plan.idle_values = 3;
          modes.push_back(plan);
        }
        bool idle_cpu = true;  // measured once per system, fan-out and size
        for (Plan plan : modes) {
          plan.size = static_cast<uint32_t>(std::stoul(size));
          Summary summary;
          Row first;
          for (uint32_t rep = 0; rep < reps; ++rep) {
            for (int attempt = 0; attempt < 2; ++attempt) {
              plan.run = stem + std::to_string(++counter);
              plan.hub =
                  Family(system) == "zmq" ? dir + "/zmq" + plan.run : "Local\\PeerBench" + plan.run;
              Row row = RunOne(self, plan, subs, roudi.get(), idle_cpu);
              first = row;
              summary.runs.push_back(row);
              if (row.ok) {
                idle_cpu = false;
                break;
              }
              summary.failure = row.note;
              if (attempt == 0) ++summary.reruns;
            }
          }
          const std::string line = SummaryText(first, summary, reps) + "\n";
          table += line;
          std::fputs(line.c_str(), stdout);
          std::fflush(stdout);
          if (!summary.Good().empty() && plan.idle_values == 0) {
            plot += system + "\t" + std::to_string(subs) + "\t" +
                    Format("%.0f", summary.Median([](const Row& r) { return r.sent_per_s; })) +
                    "\t" + Format("%.1f", summary.Median([](const Row& r) { return r.p50_us; })) +
                    "\t" + Format("%.1f", summary.Median([](const Row& r) { return r.p99_us; })) +
                    "\n";
          }
        }
      }
    }
  }
  for (const auto& [name, text] :
       {std::pair{option("out", ""), table}, std::pair{option("plot", ""), plot}}) {
    if (name.empty()) continue;
    FILE* file = std::fopen(name.c_str(), "w");
    if (file == nullptr) return 1;
    std::fputs(text.c_str(), file);
    std::fclose(file);
  }
  return 0;
}

int RunRole(const std::string& role, const std::vector<std::string>& args) {
  Plan plan;
  if (!Plan::FromArgs(args, &plan)) return 3;
  if (role == "orvex-pub") return OrvexPublisher(plan);
  if (role == "orvex-sub") return OrvexSubscriber(plan);
  if (role == "zmq-hub") return ZmqHub(plan);
  if (role == "zmq-pub") return ZmqPublisher(plan);
  if (role == "zmq-sub") return ZmqSubscriber(plan);
  if (role == "iceoryx-pub") return IceoryxPublisher(plan);
  if (role == "iceoryx-sub") return IceoryxSubscriber(plan);
  return 3;
}

}  // namespace
}  // namespace orvex::bench

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 2 && args[0] == "role") {
    return orvex::bench::RunRole(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
  }
  std::map<std::string, std::string> options;
  for (size_t i = 0; i + 1 < args.size(); i += 2) {
    if (args[i].rfind("--", 0) != 0) {
      std::fputs(
          "usage: peer_bench [--systems a,b] [--subs 1,10,29] [--sizes 16] "
          "[--rates 1000,10000,0] [--reps 3] [--duration MS] [--idle-subs 1] [--out FILE] "
          "[--plot FILE]\n",
          stderr);
      return 2;
    }
    options[args[i].substr(2)] = args[i + 1];
  }
  return orvex::bench::Harness(orvex::platform::CurrentExecutablePath(), options);
}
