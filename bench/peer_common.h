#pragma once
// Shared pieces of the peer benchmark: the plan each process runs, the stamped payload,
// the events that pace a run, and the result files the processes leave behind.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/event.h"

namespace orvex::bench {

// What one publisher or subscriber process does in one run.
struct Plan {
  std::string system;  // orvex-classic, orvex-v2, zmq, iceoryx
  std::string run;     // unique per run: names events, files, topics
  std::string hub;     // where to reach the hub (bus base name, zmq endpoints prefix)
  std::string dir;     // result files
  uint32_t index = 0;  // subscriber number
  uint32_t size = 16;  // payload bytes (at least 16)
  uint32_t rate = 0;   // values per second; 0 flat out
  uint32_t duration_ms = 2000;
  // Idle mode when above 0: this many values, each after 1 s without any (rate and
  // duration are then not used).
  uint32_t idle_values = 0;
  // Above 0: values go to this many topics, chosen at random for each value (uniform,
  // or Zipf-skewed when `zipf`); subscriber i of N asks for the topics whose number
  // modulo N is i, and every subscriber for topic 0, which carries the warm-up.
  uint32_t topics = 0;
  uint32_t zipf = 0;
  uint32_t subs = 1;
  // A subscriber that takes values only every `drain_ms`, all it finds then (as Excel
  // refreshes), or at most `read_rate` values a second; 0: as they come.
  uint32_t drain_ms = 0;
  uint32_t read_rate = 0;

  std::vector<std::string> ToArgs() const;
  static bool FromArgs(const std::vector<std::string>& args, Plan* out);
  std::string EventName(const std::string& what) const;
  std::string ResultPath(const std::string& who) const;
};

// Nanoseconds of the steady clock, which all processes of the machine share.
uint64_t NowNs();

// Payload: +0 u64 send time (ns, steady clock), +8 u64 sequence or a marker, then
// filler up to the size. StampHead rewrites only the first 16 bytes (for a payload
// Stamp has filled once: a large value is not refilled for every send).
inline constexpr uint64_t kWarmUp = ~0ull;
inline constexpr uint64_t kEnd = ~0ull - 1;
void Stamp(uint8_t* payload, uint32_t size, uint64_t seq);
void StampHead(uint8_t* payload, uint64_t seq, uint64_t now_ns = NowNs());
void ReadStamp(const uint8_t* payload, uint64_t* sent_ns, uint64_t* seq);
// CPU time of this process so far, in nanoseconds.
uint64_t ProcessCpuNs();
// CPU time of another process from /proc (utime + stime), nanoseconds; 0 when unknown.
uint64_t OtherProcessCpuNs(uint32_t pid);
// A memory figure of another process from /proc/<pid>/status in KiB ("VmHWM" is the
// peak resident size, "VmRSS" the current one); 0 when unknown.
uint64_t OtherProcessMemoryKb(uint32_t pid, const std::string& field);
// Sleeps until the steady clock reads `deadline_ns` (at once when it has passed):
// paced loops sleep to absolute times, so their lateness does not add up.
void SleepUntilNs(uint64_t deadline_ns);

// Absolute pacing at `rate` values a second from `start_ns`: value k is due at
// start + k / rate. A loop sends every value Due() says, then sleeps until NextNs().
class Pacer {
 public:
  Pacer(uint64_t start_ns, uint32_t rate) : start_ns_(start_ns), rate_(rate) {}
  // How many values are due by `now_ns`, counted from the start (0 before it).
  uint64_t Due(uint64_t now_ns) const;
  // When value number `k` (0-based) is due.
  uint64_t NextNs(uint64_t k) const;

 private:
  uint64_t start_ns_;
  uint32_t rate_;
};

// Topic numbers 0..n-1 drawn uniformly, or Zipf-distributed with exponent `s` (topic k
// drawn in proportion to 1 / (k + 1)^s), from a fixed seed so runs compare.
class TopicSampler {
 public:
  TopicSampler(uint32_t n, double s, uint64_t seed);
  uint32_t Next();

 private:
  uint32_t n_;
  std::vector<double> cumulative_;  // empty when uniform
  std::mt19937_64 random_;
};

// The exponent of the skewed many-topic rows.
inline constexpr double kZipfExponent = 1.0;

// The topics subscriber `index` of `subs` asks for out of `topics` (see Plan::topics),
// topic 0 last so that the warm-up value on it arrives only after every other request.
std::vector<uint32_t> TopicShare(uint32_t topics, uint32_t subs, uint32_t index);
// The number a topic text ends in ("@BENCH:T123" -> 123); false when it ends otherwise.
bool TopicNumber(const std::string& text, uint32_t* number);

// The named events of a run, opened (or created) on first use.
class RunEvents {
 public:
  explicit RunEvents(const Plan& plan) : plan_(plan) {}
  ~RunEvents();
  RunEvents(const RunEvents&) = delete;
  RunEvents& operator=(const RunEvents&) = delete;
  void Set(const std::string& what);
  bool IsSet(const std::string& what);
  bool Wait(const std::string& what, uint32_t timeout_ms);

 private:
  platform::EventObject* Get(const std::string& what);
  const Plan& plan_;
  std::vector<std::pair<std::string, platform::EventObject*>> events_;
};

// What a subscriber records and leaves in its result file.
struct SubResult {
  uint64_t received = 0;
  uint64_t gaps = 0;  // values missed, by sequence
  uint64_t cpu_ns = 0;
  uint64_t first_ns = 0;
  uint64_t last_ns = 0;
  std::vector<uint32_t> latency_ns;  // capped at 4.29 s
  // A subscriber that drains periodically: the age of the oldest value each drain took,
  // in microseconds (a value may wait longer than the 4.29 s a latency can hold);
  // drains that found nothing leave no entry.
  std::vector<uint32_t> drain_oldest_us;
  // Takes one measured value (not warm-up or end).
  void Take(uint64_t sent_ns, uint64_t seq, uint64_t now_ns);
  // Closes a drain: everything taken since the last one was found in it.
  void EndDrain();
  uint64_t next_seq = 0;

 private:
  uint64_t drain_oldest_ns_ = 0;
  bool drain_took_ = false;
};

inline constexpr uint32_t kIdleGapMs = 1000;

struct PubResult {
  uint64_t sent = 0;
  uint64_t cpu_ns = 0;
  uint64_t start_ns = 0;
  uint64_t end_ns = 0;
};

bool WriteSubResult(const std::string& path, const SubResult& r);
bool ReadSubResult(const std::string& path, SubResult* r);
bool WritePubResult(const std::string& path, const PubResult& r);
bool ReadPubResult(const std::string& path, PubResult* r);
// What the subscribe storm's subscriber records (steady-clock times, 0 when not
// reached): requests begun and sent, the bus's answer to a request sent after them all,
// the last topic's first value, and the answer after closing them all.
struct StormTimes {
  uint64_t start_ns = 0, sent_ns = 0, taken_ns = 0, last_first_ns = 0, closed_ns = 0;
  uint64_t firsts = 0;
  std::vector<uint64_t> ToNumbers() const {
    return {start_ns, sent_ns, taken_ns, last_first_ns, closed_ns, firsts};
  }
  static constexpr size_t kNumbers = 6;
  static StormTimes FromNumbers(const std::vector<uint64_t>& n) {
    return {n[0], n[1], n[2], n[3], n[4], n[5]};
  }
};

// A short list of numbers, for results of other shapes; reading wants exactly `count`.
bool WriteNumbers(const std::string& path, const std::vector<uint64_t>& numbers);
bool ReadNumbers(const std::string& path, size_t count, std::vector<uint64_t>* numbers);

// The q-quantile (0..1) of `values`, in microseconds; 0 when empty. Reorders `values`.
double PercentileUs(std::vector<uint32_t>& values, double q);

// The publisher's pacing: before "go" warm-up values every 5 ms until "quiet"; then
// `plan.rate` values a second (or flat out) for the duration, or in idle mode single
// values each after 1 s of silence; then end markers every 5 ms until "stop". `send` sends one
// payload and answers false when the transport refused it (the value is retried). Returns the
// result for the file.
template <typename Send>
PubResult RunPublisherLoop(const Plan& plan, RunEvents& events, Send send);

// The subscriber's bookkeeping: feed every payload; answers false once the end marker
// came. Sets "ready.<index>" on the first warm-up value.
class SubscriberLoop {
 public:
  SubscriberLoop(const Plan& plan, RunEvents& events) : plan_(plan), events_(events) {}
  bool Take(const uint8_t* payload, uint32_t size);
  // The subscriber's pacing: with Plan::drain_ms, sleeps to the next drain (closing the
  // one before); with Plan::read_rate, to the next value's turn; else returns at once.
  void Pace();
  SubResult& result() { return result_; }
  // Writes the file; the exit code of the subscriber.
  int Finish();

 private:
  const Plan& plan_;
  RunEvents& events_;
  SubResult result_;
  bool ready_ = false;
  uint64_t cpu_start_ = 0;
  uint64_t pace_start_ = 0;
  uint64_t paced_ = 0;
};

}  // namespace orvex::bench

#include "bench/peer_common_inl.h"
