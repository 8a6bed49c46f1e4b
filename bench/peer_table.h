#pragma once
// What one run of the peer benchmark measured, the runs of one row summed up as
// medians with their spread, and the tables written from them.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orvex::bench {

// One run. Negative figures are "not measured in this run".
struct Row {
  std::string system;
  std::string label;  // what the row varies, for the tables of the special rows
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
  // CPU per delivery, µs (the same figure as CPU seconds per million deliveries).
  double cpu_us = 0, hub_cpu_us = 0, pub_cpu_us = 0, subs_cpu_us = 0;
  double hub_cpu_pct = -1;   // of one core over the measured phase
  double hub_peak_mib = -1;  // the hub process's peak resident size (VmHWM)
  double hub_syscalls = -1;  // per value sent
  double hub_idle_pct = -1;  // with the run's clients connected and quiet
  double hub_idle_syscalls_s = -1;
  // The slow reader of a slow-reader row; the others then fill the fields above.
  double slow_delivered_per_s = -1, slow_p50_us = -1;
  // A draining subscriber: the oldest value's age at a drain, median and worst drain.
  double drain_oldest_p50_ms = -1, drain_oldest_max_ms = -1;
  // The subscribe storm, seconds; hub resident MiB before and after.
  double storm_taken_s = -1, storm_last_first_s = -1, storm_after_register_s = -1;
  double storm_closed_s = -1, hub_before_mib = -1, hub_after_mib = -1;
};

std::string Format(const char* format, double v);

// The runs of one row: its median and spread over the runs that worked.
struct Summary {
  std::vector<Row> runs;
  int reruns = 0;
  std::string failure;  // the last failed run's note
  uint32_t reps = 0;

  std::vector<Row> Good() const;
  // The figure of every good run that measured it, sorted.
  std::vector<double> Values(const std::function<double(const Row&)>& field) const;
  // The median (the upper one of an even count); -1 when no run measured it.
  double Median(const std::function<double(const Row&)>& field) const;
  // "median [min–max]" when more than one run measured it; "" when none did.
  std::string WithSpread(const char* format, const std::function<double(const Row&)>& field) const;
  // The median alone, "" when no run measured it.
  std::string Cell(const char* format, const std::function<double(const Row&)>& field) const;
  // "good/reps", re-runs and the failure.
  std::string RunsText() const;
};

// A table: label columns come from the first run, figure columns from the summary.
struct Column {
  std::string head;
  std::function<std::string(const Summary&)> cell;
  bool label = false;  // still filled when every run failed
};

std::string TableHead(const std::vector<Column>& columns);
// A line of the table; when no run worked the first figure cell says why.
std::string TableLine(const std::vector<Column>& columns, const Summary& s);

// A target against its figure from the run: "yes", "no", or "not measured" when a
// figure it needs is missing (negative).
struct Target {
  std::string what;
  std::string measured;
  std::vector<double> figures;
  std::function<bool(const std::vector<double>&)> met;
  std::string Verdict() const;
};
std::string TargetsTable(const std::vector<Target>& targets);

}  // namespace orvex::bench
