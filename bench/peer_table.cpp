#include "bench/peer_table.h"

#include <algorithm>
#include <cstdio>

namespace orvex::bench {

std::string Format(const char* format, double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, v);
  return buffer;
}

std::vector<Row> Summary::Good() const {
  std::vector<Row> good;
  for (const Row& r : runs) {
    if (r.ok) good.push_back(r);
  }
  return good;
}

std::vector<double> Summary::Values(const std::function<double(const Row&)>& field) const {
  std::vector<double> v;
  for (const Row& r : Good()) {
    if (field(r) >= 0) v.push_back(field(r));
  }
  std::sort(v.begin(), v.end());
  return v;
}

double Summary::Median(const std::function<double(const Row&)>& field) const {
  const auto v = Values(field);
  return v.empty() ? -1 : v[v.size() / 2];
}

std::string Summary::WithSpread(const char* format,
                                const std::function<double(const Row&)>& field) const {
  const auto v = Values(field);
  if (v.empty()) return "";
  std::string text = Format(format, v[v.size() / 2]);
  if (v.size() > 1) text += " [" + Format(format, v.front()) + "–" + Format(format, v.back()) + "]";
  return text;
}

std::string Summary::Cell(const char* format,
                          const std::function<double(const Row&)>& field) const {
  const double m = Median(field);
  return m < 0 ? std::string() : Format(format, m);
}

std::string Summary::RunsText() const {
  const size_t good = Good().size();
  std::string text = std::to_string(good) + "/" + std::to_string(reps);
  if (reruns > 0) text += ", " + std::to_string(reruns) + " re-run";
  if (good < reps) text += " (" + failure + ")";
  return text;
}

std::string TableHead(const std::vector<Column>& columns) {
  std::string head = "|", rule = "|";
  for (const Column& c : columns) {
    head += " " + c.head + " |";
    rule += "---|";
  }
  return head + "\n" + rule + "\n";
}

std::string TableLine(const std::vector<Column>& columns, const Summary& s) {
  const bool failed = s.Good().empty();
  bool said = false;
  std::string line = "|";
  for (const Column& c : columns) {
    std::string cell;
    if (c.label) {
      cell = c.cell(s);
    } else if (failed && !said) {
      cell = "failed: " + s.failure;
      said = true;
    } else if (!failed) {
      cell = c.cell(s);
    }
    line += " " + cell + " |";
  }
  return line + "\n";
}

std::string Target::Verdict() const {
  for (double f : figures) {
    if (f < 0) return "not measured";
  }
  return met(figures) ? "yes" : "no";
}

std::string TargetsTable(const std::vector<Target>& targets) {
  std::string text = "| target | measured (median) | met |\n|---|---|---|\n";
  for (const Target& t : targets) {
    text += "| " + t.what + " | " + t.measured + " | " + t.Verdict() + " |\n";
  }
  return text;
}

}  // namespace orvex::bench
