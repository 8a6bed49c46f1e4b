// peer_bench: runs one workload through our bus and through peer systems on this
// machine and prints its tables. Every publisher, subscriber and hub is a process of
// its own (this program in a role, bus_host, or iceoryx's RouDi). Every row is run
// --reps times (a failed run once more) and reported as the median with the spread.
//   peer_bench [--rows peers,large,slow,topics,storm,idle-book] [--reps 3]
//              [--systems a,b] [--subs 1,10,29] [--sizes 16] [--rates 1000,10000,0]
//              [--duration MS] [--topic-duration MS] [--topics 100000] [--idle-subs 1]
//              [--out-dir DIR] [--plot FILE]
// --out-dir gets one Markdown table per group of rows run (GROUP.md) and targets.md
// when every group the targets need was run.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/peer_common.h"
#include "bench/peer_run.h"
#include "bench/peer_systems.h"
#include "bench/peer_table.h"
#include "platform/process.h"

namespace orvex::bench {
namespace {

// Systems that never lose a value by design; they run flat out only, where that
// matters (at a steady rate below capacity they behave as their lossy forms).
bool LosslessComparator(const std::string& system) {
  return system == "zmq-lossless" || system.find("-block") != std::string::npos;
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

uint32_t Number(const std::string& text) {
  return static_cast<uint32_t>(std::stoul(text));
}

std::string ModeName(const Plan& plan) {
  if (plan.idle_values != 0) return "one value after 1 s idle";
  return plan.rate == 0 ? "flat out" : std::to_string(plan.rate) + "/s";
}

std::string Thousands(double v) {
  const std::string digits = Format("%.0f", v);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0 && digits[i - 1] != '-') out += ',';
    out += digits[i];
  }
  return out;
}

std::string SizeName(uint32_t size) {
  if (size >= 1024 * 1024 && size % (1024 * 1024) == 0) {
    return std::to_string(size / (1024 * 1024)) + " MiB";
  }
  if (size >= 1024 && size % 1024 == 0) return std::to_string(size / 1024) + " KiB";
  return std::to_string(size) + " B";
}

using Field = std::function<double(const Row&)>;

// Columns the tables share.
Column LabelColumn(const std::string& head, std::function<std::string(const Row&)> text) {
  return {head, [text](const Summary& s) { return text(s.runs.front()); }, true};
}
Column Median(const std::string& head, const char* format, Field field) {
  return {head, [format, field](const Summary& s) { return s.Cell(format, field); }};
}
Column Spread(const std::string& head, const char* format, Field field) {
  return {head, [format, field](const Summary& s) { return s.WithSpread(format, field); }};
}
Column CpuSplit() {
  return {"CPU µs per delivery: all (hub / pub / subs)", [](const Summary& s) {
            return s.Cell("%.2f", [](const Row& r) { return r.cpu_us; }) + " (" +
                   s.Cell("%.2f", [](const Row& r) { return r.hub_cpu_us; }) + " / " +
                   s.Cell("%.2f", [](const Row& r) { return r.pub_cpu_us; }) + " / " +
                   s.Cell("%.2f", [](const Row& r) { return r.subs_cpu_us; }) + ")";
          }};
}
Column Conflated() {
  // Conflated values are counted only by a bus that conflates ("n/a" for the peers).
  return {"conflated %", [](const Summary& s) {
            const std::string c = s.Cell("%.2f", [](const Row& r) { return r.conflated_pct; });
            return c.empty() ? std::string("n/a") : c;
          }};
}
Column Runs() {
  return {"runs", [](const Summary& s) { return s.RunsText(); }, true};
}
Column HubPeak() {
  return Median("hub peak MiB", "%.1f", [](const Row& r) { return r.hub_peak_mib; });
}
const Field kSent = [](const Row& r) { return r.sent_per_s; };
const Field kDelivered = [](const Row& r) { return r.delivered_per_s; };
const Field kLost = [](const Row& r) { return r.lost_pct; };
const Field kP50 = [](const Row& r) { return r.p50_us; };
const Field kP99 = [](const Row& r) { return r.p99_us; };

Column SystemColumn() {
  return LabelColumn("system", [](const Row& r) { return r.system; });
}
// What went in and what came out: sent/s, delivered/s, lost %, conflated %.
std::vector<Column> FlowColumns() {
  return {Spread("sent/s", "%.0f", kSent), Spread("delivered/s", "%.0f", kDelivered),
          Median("lost %", "%.2f", kLost), Conflated()};
}
std::vector<Column> Join(std::initializer_list<std::vector<Column>> parts) {
  std::vector<Column> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class Harness {
 public:
  Harness(std::string self, std::map<std::string, std::string> options)
      : self_(std::move(self)), options_(std::move(options)) {
    dir_ = (std::filesystem::temp_directory_path() / "peer_bench").string();
    std::filesystem::create_directories(dir_);
    reps_ = Number(Option("reps", "3"));
    stem_ = std::to_string(NowNs() / 1000000 % 100000) + "_";
  }

  int Run() {
    const auto rows = SplitList(Option("rows", "peers,large,slow,topics,storm,idle-book"));
    const std::map<std::string, std::function<void()>> groups = {
        {"peers", [this] { Peers(); }}, {"large", [this] { Large(); }},
        {"slow", [this] { Slow(); }},   {"topics", [this] { Topics(); }},
        {"storm", [this] { Storm(); }}, {"idle-book", [this] { IdleBook(); }}};
    for (const auto& name : rows) {
      if (groups.count(name) == 0) {
        std::fprintf(stderr, "peer_bench: no rows named %s\n", name.c_str());
        return 2;
      }
    }
    for (const auto& name : rows) groups.at(name)();
    const bool targets = std::all_of(
        std::begin(kTargetGroups), std::end(kTargetGroups),
        [&](const char* g) { return std::find(rows.begin(), rows.end(), g) != rows.end(); });
    if (targets) outputs_["targets"] = Targets();
    const std::string out = Option("out-dir", "");
    if (!out.empty()) {
      for (const auto& [name, text] : outputs_) {
        if (!WriteText(out + "/" + name + ".md", text)) return 1;
      }
    }
    const std::string plot = Option("plot", "");
    if (!plot.empty() && !WriteText(plot, plot_)) return 1;
    return 0;
  }

 private:
  static constexpr const char* kTargetGroups[] = {"peers", "topics", "storm"};

  std::string Option(const std::string& name, const std::string& fallback) const {
    auto it = options_.find(name);
    return it == options_.end() ? fallback : it->second;
  }

  static bool WriteText(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return false;
    std::fputs(text.c_str(), file);
    return std::fclose(file) == 0;
  }

  Plan Base(const std::string& system) const {
    Plan plan;
    plan.system = system;
    plan.dir = dir_;
    plan.duration_ms = Number(Option("duration", "1000"));
    return plan;
  }

  // Runs one row --reps times (a failed run once more) and keeps it under `key`.
  Summary Repeat(const std::string& key, Plan plan, const std::function<Row(const Plan&)>& run) {
    Summary summary;
    summary.reps = reps_;
    for (uint32_t rep = 0; rep < reps_; ++rep) {
      for (int attempt = 0; attempt < 2; ++attempt) {
        plan.run = stem_ + std::to_string(++counter_);
        plan.hub =
            Family(plan.system) == "zmq" ? dir_ + "/zmq" + plan.run : "Local\\PeerBench" + plan.run;
        Row row = run(plan);
        row.mode = ModeName(plan);
        summary.runs.push_back(row);
        if (row.ok) break;
        summary.failure = row.note;
        if (attempt == 0) ++summary.reruns;
      }
    }
    results_[key] = summary;
    return summary;
  }

  // Adds a line to a group's table, printing it as it comes.
  void Emit(const std::string& group, const std::vector<Column>& columns, const Summary& s) {
    std::string& table = outputs_[group];
    if (table.empty()) {
      table = TableHead(columns);
      std::fputs(table.c_str(), stdout);
    }
    const std::string line = TableLine(columns, s);
    table += line;
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
  }

  // The matrix every system runs: fan-outs, sizes, rates, and the idle row.
  void Peers() {
    const std::vector<Column> columns = Join(
        {{SystemColumn(),
          LabelColumn("fan-out", [](const Row& r) { return "1 → " + std::to_string(r.subs); }),
          LabelColumn("value", [](const Row& r) { return SizeName(r.size); }),
          LabelColumn("rate", [](const Row& r) { return r.mode; })},
         FlowColumns(),
         {Spread("p50 µs", "%.1f", kP50), Spread("p99 µs", "%.1f", kP99),
          Median("p99.9 µs", "%.1f", [](const Row& r) { return r.p999_us; }), CpuSplit(),
          Median("hub syscalls per value", "%.2f", [](const Row& r) { return r.hub_syscalls; }),
          HubPeak(), Median("hub idle CPU %", "%.1f", [](const Row& r) { return r.hub_idle_pct; }),
          Runs()}});
    const auto systems = SplitList(Option(
        "systems",
        "orvex-v2,orvex-classic,orvex-v2-block,orvex-classic-block,zmq,zmq-lossless,iceoryx"));
    const auto subs_list = SplitList(Option("subs", "1,10,29"));
    const auto sizes = SplitList(Option("sizes", "16"));
    const auto rates = SplitList(Option("rates", "1000,10000,0"));
    const auto idle_subs = SplitList(Option("idle-subs", "1"));
    for (const auto& system : systems) {
      Plan base = Base(system);
      base.run = stem_ + "roudi";
      // RouDi serves every run of its system (its peak memory is then over them all); the
      // other hubs live for one run.
      std::unique_ptr<Hub> roudi;
      if (system == "iceoryx") roudi = std::make_unique<Hub>(self_, base, 0);
      for (const auto& subs_text : subs_list) {
        for (const auto& size : sizes) {
          std::vector<Plan> modes;
          for (const auto& r : rates) {
            Plan plan = base;
            plan.rate = Number(r);
            if (!LosslessComparator(system) || plan.rate == 0) modes.push_back(plan);
          }
          if (!LosslessComparator(system) &&
              std::find(idle_subs.begin(), idle_subs.end(), subs_text) != idle_subs.end()) {
            Plan plan = base;
            plan.idle_values = 3;
            modes.push_back(plan);
          }
          bool idle_cpu = true;  // measured once per system, fan-out and size
          for (Plan plan : modes) {
            plan.size = Number(size);
            const std::string key =
                "peers|" + system + "|" + subs_text + "|" + size + "|" + ModeName(plan);
            const Summary summary = Repeat(key, plan, [&](const Plan& p) {
              RunOptions run;
              run.subs = Number(subs_text);
              run.idle_ms = idle_cpu ? 1500 : 0;
              Row row = RunOne(self_, p, run, roudi.get());
              if (row.ok) idle_cpu = false;
              return row;
            });
            Emit("peers", columns, summary);
            if (!summary.Good().empty() && plan.idle_values == 0) {
              plot_ += system + "\t" + subs_text + "\t" + Format("%.0f", summary.Median(kSent)) +
                       "\t" + Format("%.1f", summary.Median(kP50)) + "\t" +
                       Format("%.1f", summary.Median(kP99)) + "\n";
            }
          }
        }
      }
    }
  }

  // Large values flat out, both link kinds, 1 → 1 and 1 → 10.
  void Large() {
    const std::vector<Column> columns =
        Join({{SystemColumn(),
               LabelColumn("fan-out", [](const Row& r) { return "1 → " + std::to_string(r.subs); }),
               LabelColumn("value", [](const Row& r) { return SizeName(r.size); })},
              FlowColumns(),
              {Median("delivered MiB/s", "%.1f",
                      [](const Row& r) { return r.delivered_per_s * r.size / 1048576.0; }),
               Spread("p50 µs", "%.1f", kP50), Spread("p99 µs", "%.1f", kP99), CpuSplit(),
               HubPeak(), Runs()}});
    for (const char* system : {"orvex-v2", "orvex-classic"}) {
      for (uint32_t subs : {1u, 10u}) {
        for (uint32_t size : {1024u, 65536u, 1048576u}) {
          Plan plan = Base(system);
          plan.size = size;
          RunOptions run;
          run.subs = subs;
          Emit("large", columns,
               Repeat("large|" + std::string(system) + "|" + std::to_string(subs) + "|" +
                          std::to_string(size),
                      plan, [&](const Plan& p) { return RunOne(self_, p, run, nullptr); }));
        }
      }
    }
  }

  // 1 → 3 with the last reader taking a tenth of the rate, conflate and block.
  void Slow() {
    const std::vector<Column> columns = {
        SystemColumn(),
        LabelColumn("rate", [](const Row& r) { return r.mode; }),
        Median("sent/s", "%.0f", kSent),
        Spread("two readers: delivered/s", "%.0f", kDelivered),
        Spread("two readers: p50 µs", "%.1f", kP50),
        Median("two readers: p99 µs", "%.1f", kP99),
        Median("slow reader: delivered/s", "%.0f",
               [](const Row& r) { return r.slow_delivered_per_s; }),
        Median("slow reader: p50 µs", "%.1f", [](const Row& r) { return r.slow_p50_us; }),
        Median("lost %", "%.2f", kLost),
        Conflated(),
        CpuSplit(),
        HubPeak(),
        Runs()};
    const uint32_t rate = 10000;
    for (const char* system : {"orvex-v2", "orvex-v2-block"}) {
      Plan plan = Base(system);
      plan.rate = rate;
      RunOptions run;
      run.subs = 3;
      run.slow_index = 2;
      run.slow_rate = rate / 10;
      Emit("slow", columns, Repeat("slow|" + std::string(system), plan, [&](const Plan& p) {
             return RunOne(self_, p, run, nullptr);
           }));
    }
  }

  // Many topics at a high rate: uniform and skewed, ZeroMQ beside; then the same read
  // by a subscriber that drains only every 200 ms and every 2 s.
  void Topics() {
    const std::vector<Column> columns =
        Join({{SystemColumn(), LabelColumn("topics, reader", [](const Row& r) { return r.label; }),
               LabelColumn("rate", [](const Row& r) { return r.mode; })},
              FlowColumns(),
              {Spread("p50 µs (age at receipt)", "%.1f", kP50), Median("p99 µs", "%.1f", kP99),
               Median("oldest value at a drain, median drain ms", "%.1f",
                      [](const Row& r) { return r.drain_oldest_p50_ms; }),
               Median("oldest value at a drain, worst drain ms", "%.1f",
                      [](const Row& r) { return r.drain_oldest_max_ms; }),
               Spread("hub CPU % of a core", "%.1f", [](const Row& r) { return r.hub_cpu_pct; }),
               CpuSplit(), HubPeak(), Runs()}});
    const uint32_t topics = Number(Option("topics", "100000"));
    const uint32_t rate = 500000;
    struct Variant {
      const char* system;
      bool zipf;
      uint32_t drain_ms;
      const char* key;
    };
    const Variant variants[] = {
        {"orvex-v2", false, 0, "uniform"},    {"orvex-v2", true, 0, "zipf"},
        {"zmq", false, 0, "uniform"},         {"zmq", true, 0, "zipf"},
        {"orvex-v2", false, 200, "drain200"}, {"orvex-v2", false, 2000, "drain2000"}};
    for (const Variant& v : variants) {
      Plan plan = Base(v.system);
      plan.rate = rate;
      plan.topics = topics;
      plan.zipf = v.zipf ? 1 : 0;
      plan.drain_ms = v.drain_ms;
      plan.duration_ms = Number(Option("topic-duration", "5000"));
      const std::string label =
          Thousands(topics) + (v.zipf ? ", Zipf (s = 1)" : ", uniform") +
          (v.drain_ms == 0
               ? ", keeps up"
               : ", drains every " + (v.drain_ms >= 1000 ? std::to_string(v.drain_ms / 1000) + " s"
                                                         : std::to_string(v.drain_ms) + " ms"));
      Emit("topics", columns,
           Repeat("topics|" + std::string(v.system) + "|" + v.key, plan, [&](const Plan& p) {
             RunOptions run;
             Row row = RunOne(self_, p, run, nullptr);
             row.label = label;
             return row;
           }));
    }
  }

  void Storm() {
    const std::vector<Column> columns = {
        SystemColumn(),
        LabelColumn("publisher", [](const Row& r) { return r.label; }),
        LabelColumn("requests", [](const Row& r) { return Thousands(r.size); }),
        Spread("bus took them all, s", "%.3f", [](const Row& r) { return r.storm_taken_s; }),
        Spread("last first value, s", "%.3f", [](const Row& r) { return r.storm_last_first_s; }),
        Median("last first value after the publisher registered, s", "%.3f",
               [](const Row& r) { return r.storm_after_register_s; }),
        Median("close all, s", "%.3f", [](const Row& r) { return r.storm_closed_s; }),
        Median("hub CPU µs per request", "%.2f", [](const Row& r) { return r.hub_cpu_us; }),
        Median("hub MiB before", "%.1f", [](const Row& r) { return r.hub_before_mib; }),
        Median("hub MiB after close all", "%.1f", [](const Row& r) { return r.hub_after_mib; }),
        HubPeak(),
        Runs()};
    const uint32_t topics = Number(Option("topics", "100000"));
    for (bool first : {true, false}) {
      Plan plan = Base("orvex-v2");
      plan.topics = topics;
      Emit("storm", columns,
           Repeat(std::string("storm|") + (first ? "with" : "without"), plan, [&](const Plan& p) {
             Row row = RunStorm(self_, p, first);
             row.label = first ? "registered before" : "none until the bus took them";
             row.size = topics;  // the table's requests column
             return row;
           }));
    }
  }

  // A large quiet book: topics spread over 29 subscribers, 30 links, nothing sent.
  void IdleBook() {
    const std::vector<Column> columns = {
        SystemColumn(),
        LabelColumn("topics", [](const Row& r) { return Thousands(r.size); }),
        LabelColumn("links", [](const Row& r) { return std::to_string(r.subs + 1); }),
        Spread("hub CPU % of a core", "%.2f", [](const Row& r) { return r.hub_idle_pct; }),
        Spread("hub system calls per s", "%.1f",
               [](const Row& r) { return r.hub_idle_syscalls_s; }),
        HubPeak(),
        Runs()};
    Plan plan = Base("orvex-v2");
    plan.topics = Number(Option("topics", "100000"));
    plan.duration_ms = 0;
    RunOptions run;
    run.subs = 29;
    run.idle_ms = 5000;
    Emit("idle-book", columns, Repeat("idle-book", plan, [&](const Plan& p) {
           Row row = RunOne(self_, p, run, nullptr);
           row.size = p.topics;  // the table's topics column
           return row;
         }));
  }

  double Figure(const std::string& key, const Field& field) const {
    auto it = results_.find(key);
    return it == results_.end() ? -1 : it->second.Median(field);
  }

  std::string Targets() const {
    const Field hub_cpu = [](const Row& r) { return r.hub_cpu_us; };
    const Field cpu = [](const Row& r) { return r.cpu_us; };
    const std::string v2_1k = "peers|orvex-v2|1|16|1000/s";
    const std::string flat10 = "|10|16|flat out";
    std::vector<Target> targets;
    auto add = [&](std::string what, std::vector<double> figures, std::string measured,
                   std::function<bool(const std::vector<double>&)> met) {
      targets.push_back({std::move(what), std::move(measured), std::move(figures), met});
    };
    const double calls = Figure(v2_1k, [](const Row& r) { return r.hub_syscalls; });
    add("hub system calls per value, 1 → 1 at 1000/s ≤ 2", {calls},
        "orvex-v2: " + Format("%.2f", calls), [](auto f) { return f[0] <= 2; });
    const double block_hub = Figure("peers|orvex-v2-block" + flat10, hub_cpu);
    add("hub CPU per delivery, 1 → 10 *block* flat out ≤ 0.1 µs", {block_hub},
        "orvex-v2-block: " + Format("%.3f µs", block_hub), [](auto f) { return f[0] <= 0.1; });
    const Field pct = [](const Row& r) { return r.hub_cpu_pct; };
    const double topic_sent = Figure("topics|orvex-v2|uniform", kSent);
    const double topic_hub = Figure("topics|orvex-v2|uniform", pct);
    add("500 k/s over 100,000 random topics, hub under 25 % of a CPU", {topic_sent, topic_hub},
        Thousands(topic_sent) + " values/s sent, hub " + Format("%.1f %%", topic_hub),
        [](auto f) { return f[0] >= 0.99 * 500000 && f[1] < 25; });
    const Field last_first = [](const Row& r) { return r.storm_last_first_s; };
    const Field taken = [](const Row& r) { return r.storm_taken_s; };
    const Field after = [](const Row& r) { return r.storm_after_register_s; };
    const double with_first = Figure("storm|with", last_first);
    const double without_taken = Figure("storm|without", taken);
    const double without_after = Figure("storm|without", after);
    add("subscribe storm: 100,000 requests under 1 s either way",
        {with_first, without_taken, without_after},
        "publisher registered: last first value after " + Format("%.3f s", with_first) +
            "; none: all taken after " + Format("%.3f s", without_taken) + ", last first value " +
            Format("%.3f s", without_after) + " after the publisher registered",
        [](auto f) { return f[0] < 1 && f[1] < 1 && f[2] < 1; });
    const double v2_cpu = Figure("peers|orvex-v2" + flat10, cpu);
    const double block_cpu = Figure("peers|orvex-v2-block" + flat10, cpu);
    const double zmq_cpu = Figure("peers|zmq" + flat10, cpu);
    const double lossless_cpu = Figure("peers|zmq-lossless" + flat10, cpu);
    add("total CPU per delivery, 1 → 10 flat out ≤ ZeroMQ's (conflate against lossy, block "
        "against lossless)",
        {v2_cpu, zmq_cpu, block_cpu, lossless_cpu},
        "orvex-v2 " + Format("%.2f", v2_cpu) + " µs, zmq " + Format("%.2f", zmq_cpu) +
            " µs; orvex-v2-block " + Format("%.2f", block_cpu) + " µs, zmq-lossless " +
            Format("%.2f", lossless_cpu) + " µs",
        [](auto f) { return f[0] <= f[1] && f[2] <= f[3]; });
    const double block_rate = Figure("peers|orvex-v2-block" + flat10, kDelivered);
    const double lossless_rate = Figure("peers|zmq-lossless" + flat10, kDelivered);
    add("lossless 1 → 10 flat out ≥ 1.2 × ZeroMQ lossless", {block_rate, lossless_rate},
        "orvex-v2-block " + Thousands(block_rate) + "/s, zmq-lossless " + Thousands(lossless_rate) +
            "/s (" + Format("%.2f ×", block_rate / lossless_rate) + ")",
        [](auto f) { return f[0] >= 1.2 * f[1]; });
    const double p50 = Figure(v2_1k, kP50);
    const double ice = Figure("peers|iceoryx|1|16|1000/s", kP50);
    add("p50 at 1 → 1, 1000/s ≤ iceoryx's", {p50, ice},
        "orvex-v2 " + Format("%.1f µs", p50) + ", iceoryx " + Format("%.1f µs", ice),
        [](auto f) { return f[0] <= f[1]; });
    return TargetsTable(targets);
  }

  std::string self_;
  std::map<std::string, std::string> options_;
  std::string dir_, stem_;
  uint32_t reps_ = 3;
  uint32_t counter_ = 0;
  std::map<std::string, Summary> results_;
  std::map<std::string, std::string> outputs_;
  std::string plot_;  // system, fan-out, sent/s, p50, p99 (medians)
};

int RunRole(const std::string& role, const std::vector<std::string>& args) {
  Plan plan;
  if (!Plan::FromArgs(args, &plan)) return 3;
  const std::map<std::string, int (*)(const Plan&)> roles = {
      {"orvex-pub", OrvexPublisher},
      {"orvex-sub", OrvexSubscriber},
      {"orvex-storm-pub", OrvexStormPublisher},
      {"orvex-storm-sub", OrvexStormSubscriber},
      {"zmq-hub", ZmqHub},
      {"zmq-pub", ZmqPublisher},
      {"zmq-sub", ZmqSubscriber},
      {"iceoryx-pub", IceoryxPublisher},
      {"iceoryx-sub", IceoryxSubscriber}};
  auto it = roles.find(role);
  return it == roles.end() ? 3 : it->second(plan);
}

}  // namespace
}  // namespace orvex::bench

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 2 && args[0] == "role") {
    return orvex::bench::RunRole(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
  }
  std::map<std::string, std::string> options;
  for (size_t i = 0; i < args.size(); i += 2) {
    if (args[i].rfind("--", 0) != 0 || i + 1 >= args.size()) {
      std::fputs(
          "usage: peer_bench [--rows peers,large,slow,topics,storm,idle-book] [--reps 3] "
          "[--systems a,b] [--subs 1,10,29] [--sizes 16] [--rates 1000,10000,0] "
          "[--duration MS] [--topic-duration MS] [--topics N] [--idle-subs 1] "
          "[--out-dir DIR] [--plot FILE]\n",
          stderr);
      return 2;
    }
    options[args[i].substr(2)] = args[i + 1];
  }
  return orvex::bench::Harness(orvex::platform::CurrentExecutablePath(), options).Run();
}
