#include "bench/peer_common.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "bench/peer_table.h"

namespace orvex::bench {
namespace {

std::string TempPath(const std::string& stem) {
  return (std::filesystem::temp_directory_path() / (stem + std::to_string(NowNs() % 1000000007ull)))
      .string();
}

TEST(PeerPlan, TravelsThroughTheCommandLineAndRefusesShortPayloads) {
  Plan plan;
  plan.system = "zmq";
  plan.run = "7_3";
  plan.hub = "Local\\Hub";
  plan.dir = "/tmp/x";
  plan.index = 28;
  plan.size = 100;
  plan.rate = 0;
  plan.duration_ms = 1500;
  plan.idle_values = 4;
  plan.topics = 100000;
  plan.zipf = 1;
  plan.subs = 29;
  plan.drain_ms = 200;
  plan.read_rate = 1000;
  Plan back;
  ASSERT_TRUE(Plan::FromArgs(plan.ToArgs(), &back));
  EXPECT_EQ(back.ToArgs(), plan.ToArgs());
  EXPECT_EQ(back.ResultPath("sub28"), "/tmp/x/7_3.sub28");
  auto args = plan.ToArgs();
  args[5] = "15";  // no room for the stamp
  EXPECT_FALSE(Plan::FromArgs(args, &back));
  args[5] = "16";
  args[4] = "29";  // subscriber 29 of 29 does not exist
  EXPECT_FALSE(Plan::FromArgs(args, &back));
  args[4] = "28";
  args.pop_back();
  EXPECT_FALSE(Plan::FromArgs(args, &back));
}

TEST(PeerStamp, CarriesTimeAndSequenceAndFillsTheRest) {
  uint8_t payload[100];
  const uint64_t before = NowNs();
  Stamp(payload, sizeof payload, 42);
  uint64_t sent = 0, seq = 0;
  ReadStamp(payload, &sent, &seq);
  EXPECT_EQ(seq, 42u);
  EXPECT_GE(sent, before);
  EXPECT_LE(sent, NowNs());
  for (size_t i = 16; i < sizeof payload; ++i) EXPECT_EQ(payload[i], 0x5A);
}

TEST(PeerResults, CountGapsAndLatencies) {
  SubResult r;
  r.Take(100, 0, 150);
  r.Take(200, 1, 260);
  r.Take(300, 5, 390);  // 2, 3 and 4 were lost
  r.Take(500, 6, 400);  // a receive "before" the send counts as 0, never as a wrap
  EXPECT_EQ(r.received, 4u);
  EXPECT_EQ(r.gaps, 3u);
  EXPECT_EQ(r.first_ns, 150u);
  EXPECT_EQ(r.last_ns, 400u);
  EXPECT_EQ(r.latency_ns, (std::vector<uint32_t>{50, 60, 90, 0}));
  SubResult slow;
  slow.Take(0, 0, 10000000000ull);  // 10 s does not fit 32 bits: capped
  EXPECT_EQ(slow.latency_ns[0], 0xFFFFFFFFu);
}

TEST(PeerResults, EachDrainKeepsItsOldestValueAndEmptyDrainsLeaveNothing) {
  SubResult r;
  r.Take(1000, 0, 4001000);  // age 4 ms
  r.Take(4500, 1, 604500);   // age 600 µs: younger, so the drain's oldest stays 4 ms
  r.EndDrain();
  r.EndDrain();             // found nothing
  r.Take(9000, 2, 109000);  // age 100 µs: a new drain starts from nothing, not from 4 ms
  r.EndDrain();
  EXPECT_EQ(r.drain_oldest_us, (std::vector<uint32_t>{4000, 100}));
  // 10 s: past what a latency holds (capped there), kept whole as a drain's age.
  r.Take(0, 3, 10000000000ull);
  r.EndDrain();
  EXPECT_EQ(r.latency_ns.back(), 0xFFFFFFFFu);
  EXPECT_EQ(r.drain_oldest_us.back(), 10000000u);
}

TEST(PeerPercentile, PicksTheRankAndCopesWithEdges) {
  std::vector<uint32_t> none;
  EXPECT_EQ(PercentileUs(none, 0.5), 0);
  std::vector<uint32_t> v;
  for (uint32_t i = 100; i >= 1; --i) v.push_back(i * 1000);  // 1..100 µs, reversed
  EXPECT_DOUBLE_EQ(PercentileUs(v, 0.50), 51);
  EXPECT_DOUBLE_EQ(PercentileUs(v, 0.99), 100);
  EXPECT_DOUBLE_EQ(PercentileUs(v, 0.0), 1);
  EXPECT_DOUBLE_EQ(PercentileUs(v, 1.0), 100);  // the worst, never past the end
  std::vector<uint32_t> one = {7000};
  EXPECT_DOUBLE_EQ(PercentileUs(one, 0.999), 7);
}

TEST(PeerPacing, ValuesFallDueOnAnAbsoluteGridAndALateLoopOwesThemAll) {
  const Pacer pacer(1000000000ull, 1000);  // 1000/s from t = 1 s
  EXPECT_EQ(pacer.Due(999999999ull), 0u);
  EXPECT_EQ(pacer.Due(1000000000ull), 1u);
  EXPECT_EQ(pacer.Due(1000999999ull), 1u);
  EXPECT_EQ(pacer.Due(1001000000ull), 2u);
  // Woken 50 ms late: 50 values are owed at once, the grid has not moved.
  EXPECT_EQ(pacer.Due(1050500000ull), 51u);
  EXPECT_EQ(pacer.NextNs(51), 1051000000ull);
  // 500 k/s: 2 µs apart, and no drift over 5 s.
  const Pacer fast(0, 500000);
  EXPECT_EQ(fast.NextNs(2500000), 5000000000ull);
  EXPECT_EQ(fast.Due(5000000000ull), 2500001u);
  // A rate of 0 never divides by it.
  EXPECT_EQ(Pacer(5, 0).NextNs(10), 5u);
  const uint64_t t = NowNs() + 20000000;
  SleepUntilNs(t);
  EXPECT_GE(NowNs(), t);
  SleepUntilNs(t - 1000);  // past: returns at once
}

TEST(PeerTopics, UniformAndZipfDrawsStayInRangeAndSkewAsAsked) {
  const uint32_t n = 1000;
  const int draws = 200000;
  TopicSampler uniform(n, 0.0, 1);
  TopicSampler zipf(n, 1.0, 1);
  std::vector<int> u(n), z(n);
  for (int i = 0; i < draws; ++i) {
    const uint32_t a = uniform.Next(), b = zipf.Next();
    ASSERT_LT(a, n);
    ASSERT_LT(b, n);
    ++u[a];
    ++z[b];
  }
  // Uniform: topic 0 about 1/n of the draws. Zipf s = 1: topic k in proportion to
  // 1/(k+1), so topic 0 takes 1/H(1000) = 13.4 % and topic 1 half of that.
  EXPECT_NEAR(u[0], draws / n, draws / n);
  EXPECT_NEAR(z[0] / static_cast<double>(draws), 0.134, 0.01);
  EXPECT_NEAR(z[0] / static_cast<double>(z[1]), 2.0, 0.15);
  EXPECT_GT(z[n - 1], 0);  // the tail is drawn too
  // The same seed draws the same topics, so runs compare.
  TopicSampler again(n, 1.0, 1), other(n, 1.0, 1);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(again.Next(), other.Next());
  EXPECT_EQ(TopicSampler(0, 1.0, 1).Next(), 0u);
}

TEST(PeerTopics, SharesCoverEveryTopicOnceWithTopicZeroLastForAll) {
  std::vector<int> asked(10);
  for (uint32_t i = 0; i < 3; ++i) {
    const auto share = TopicShare(10, 3, i);
    ASSERT_FALSE(share.empty());
    EXPECT_EQ(share.back(), 0u);
    for (uint32_t t : share) ++asked[t];
  }
  EXPECT_EQ(asked[0], 3);  // every subscriber waits on the warm-up topic
  for (uint32_t t = 1; t < 10; ++t) EXPECT_EQ(asked[t], 1) << t;
  EXPECT_EQ(TopicShare(5, 1, 0), (std::vector<uint32_t>{1, 2, 3, 4, 0}));
  EXPECT_TRUE(TopicShare(0, 1, 0).empty());
  uint32_t number = 0;
  EXPECT_TRUE(TopicNumber("@BENCH:T123", &number));
  EXPECT_EQ(number, 123u);
  EXPECT_TRUE(TopicNumber("T0", &number));
  EXPECT_EQ(number, 0u);
  EXPECT_FALSE(TopicNumber("VALUES", &number));
  EXPECT_FALSE(TopicNumber("T12345678901", &number));  // would not fit
}

Plan EventPlan(const std::string& stem) {
  Plan plan;
  plan.system = "orvex-v2";
  plan.run = stem + std::to_string(NowNs() % 1000000007ull);
  plan.dir = std::filesystem::temp_directory_path().string();
  return plan;
}

// The publisher's loop with a transport that refuses some sends: every value goes out
// once, in order, never before its time on the grid, and no more than the duration holds.
TEST(PeerPublisherLoop, PacedValuesKeepTheGridAndRefusedSendsAreRetried) {
  for (const uint32_t rate : {1000u, 0u}) {
    Plan plan = EventPlan("peer_loop_");
    plan.rate = rate;
    plan.duration_ms = rate != 0 ? 50 : 10;  // flat out fills memory fast
    RunEvents events(plan);
    for (const char* what : {"quiet", "go", "stop"}) events.Set(what);
    std::vector<std::pair<uint64_t, uint64_t>> sent;  // (stamp, seq)
    int calls = 0;
    const PubResult r = RunPublisherLoop(plan, events, [&](const uint8_t* payload, uint32_t) {
      if (++calls % 3 == 0) return false;  // the transport is full now and then
      uint64_t stamp = 0, seq = 0;
      ReadStamp(payload, &stamp, &seq);
      sent.emplace_back(stamp, seq);
      return true;
    });
    ASSERT_EQ(r.sent, sent.size()) << rate;
    ASSERT_GT(r.sent, 0u);
    for (size_t i = 0; i < sent.size(); ++i) {
      ASSERT_EQ(sent[i].second, i) << "rate " << rate;  // retried, never skipped
      if (rate != 0) {
        ASSERT_GE(sent[i].first, Pacer(r.start_ns, rate).NextNs(i));
      }
    }
    if (rate != 0) {
      EXPECT_LE(r.sent, 50u);  // 50 ms at 1000/s: values 0..49 at most
    }
    EXPECT_GE(r.end_ns, r.start_ns + uint64_t{plan.duration_ms} * 1000000);
  }
}

// A draining subscriber sleeps to the next drain on its grid and closes the drain it
// ends; a rate-limited one takes its turns on the rate's grid; neither paces before
// the measured values begin.
TEST(PeerSubscriberLoop, DrainsAndReadRatesPaceOnAbsoluteGrids) {
  uint8_t value[16];
  Plan drain = EventPlan("peer_drain_");
  drain.drain_ms = 30;
  RunEvents events(drain);
  SubscriberLoop drains(drain, events);
  drains.Pace();  // nothing taken yet: no drain, no sleep
  EXPECT_TRUE(drains.result().drain_oldest_us.empty());
  Stamp(value, sizeof value, kWarmUp);
  EXPECT_TRUE(drains.Take(value, sizeof value));
  EXPECT_TRUE(events.IsSet("ready.0"));
  Stamp(value, sizeof value, 0);
  EXPECT_TRUE(drains.Take(value, sizeof value));
  const uint64_t first = NowNs();
  drains.Pace();
  EXPECT_GE(NowNs(), first + 30000000ull);  // the grid starts at this Pace
  EXPECT_EQ(drains.result().drain_oldest_us.size(), 1u);
  drains.Pace();  // an empty drain leaves nothing
  EXPECT_EQ(drains.result().drain_oldest_us.size(), 1u);
  Stamp(value, sizeof value, kEnd);
  EXPECT_FALSE(drains.Take(value, sizeof value));

  Plan slow = EventPlan("peer_rate_");
  slow.read_rate = 200;  // 5 ms a value
  RunEvents slow_events(slow);
  SubscriberLoop reader(slow, slow_events);
  const uint64_t start = NowNs();
  for (uint64_t seq = 0; seq < 4; ++seq) {
    Stamp(value, sizeof value, seq);
    reader.Take(value, sizeof value);
    reader.Pace();
  }
  // Four turns after the first: at least 20 ms on the grid, however late each wake-up.
  EXPECT_GE(NowNs(), start + 20000000ull);
  EXPECT_EQ(reader.result().received, 4u);
  EXPECT_TRUE(reader.result().drain_oldest_us.empty());
}

TEST(PeerTable, MediansSpreadsFailuresAndTargets) {
  Summary s;
  s.reps = 3;
  Row a, b, c;
  a.ok = b.ok = true;
  a.system = "orvex-v2";
  a.p50_us = 30;
  b.p50_us = 10;
  b.hub_syscalls = 1.5;  // measured in one run only
  c.note = "hub did not start";
  s.runs = {a, b, c};
  s.failure = c.note;
  s.reruns = 1;
  const auto p50 = [](const Row& r) { return r.p50_us; };
  EXPECT_EQ(s.WithSpread("%.1f", p50), "30.0 [10.0–30.0]");  // the failed run is not counted
  EXPECT_EQ(s.Cell("%.2f", [](const Row& r) { return r.hub_syscalls; }), "1.50");
  EXPECT_EQ(s.Cell("%.1f", [](const Row& r) { return r.hub_idle_pct; }), "");
  EXPECT_EQ(s.RunsText(), "2/3, 1 re-run (hub did not start)");
  const std::vector<Column> columns = {
      {"system", [](const Summary& x) { return x.runs.front().system; }, true},
      {"p50", [&](const Summary& x) { return x.Cell("%.0f", p50); }},
      {"p99", [](const Summary&) { return std::string("9"); }}};
  EXPECT_EQ(TableHead(columns), "| system | p50 | p99 |\n|---|---|---|\n");
  EXPECT_EQ(TableLine(columns, s), "| orvex-v2 | 30 | 9 |\n");
  Summary failed;
  failed.runs = {c};
  failed.runs[0].system = "zmq";
  failed.failure = c.note;
  EXPECT_EQ(TableLine(columns, failed), "| zmq | failed: hub did not start |  |\n");

  const auto below = [](const std::vector<double>& f) { return f[0] <= f[1]; };
  EXPECT_EQ((Target{"t", "", {1, 2}, below}).Verdict(), "yes");
  EXPECT_EQ((Target{"t", "", {3, 2}, below}).Verdict(), "no");
  EXPECT_EQ((Target{"t", "", {1, -1}, below}).Verdict(), "not measured");
}

TEST(PeerResults, FilesRoundTripAndATruncatedFileIsRefused) {
  SubResult r;
  for (uint64_t i = 0; i < 1000; ++i) r.Take(i, i, i + 7);
  r.cpu_ns = 12345;
  const std::string path = TempPath("peer_sub_");
  ASSERT_TRUE(WriteSubResult(path, r));
  SubResult back;
  ASSERT_TRUE(ReadSubResult(path, &back));
  EXPECT_EQ(back.received, 1000u);
  EXPECT_EQ(back.cpu_ns, 12345u);
  EXPECT_EQ(back.latency_ns, r.latency_ns);
  EXPECT_TRUE(back.drain_oldest_us.empty());
  r.drain_oldest_us = {5, 6, 7};
  ASSERT_TRUE(WriteSubResult(path, r));
  ASSERT_TRUE(ReadSubResult(path, &back));
  EXPECT_EQ(back.drain_oldest_us, r.drain_oldest_us);
  EXPECT_EQ(back.latency_ns, r.latency_ns);
  // A writer that died half-way leaves fewer samples than the count claims.
  std::filesystem::resize_file(path, std::filesystem::file_size(path) - 8);
  EXPECT_FALSE(ReadSubResult(path, &back));
  std::filesystem::resize_file(path, 20);
  EXPECT_FALSE(ReadSubResult(path, &back));
  std::filesystem::remove(path);
  EXPECT_FALSE(ReadSubResult(path, &back));

  PubResult p{77, 1, 2, 3};
  ASSERT_TRUE(WritePubResult(path, p));
  PubResult q;
  ASSERT_TRUE(ReadPubResult(path, &q));
  EXPECT_EQ(q.sent, 77u);
  EXPECT_EQ(q.end_ns, 3u);
  std::vector<uint64_t> numbers;
  EXPECT_FALSE(ReadNumbers(path, 5, &numbers));  // four were written
  const StormTimes storm{1, 2, 3, 4, 5, 100000};
  ASSERT_TRUE(WriteNumbers(path, storm.ToNumbers()));
  ASSERT_TRUE(ReadNumbers(path, StormTimes::kNumbers, &numbers));
  EXPECT_EQ(StormTimes::FromNumbers(numbers).ToNumbers(), storm.ToNumbers());
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace orvex::bench
