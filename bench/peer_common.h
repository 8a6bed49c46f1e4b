#pragma once
// Shared pieces of the peer benchmark: the plan each process runs, the stamped payload,
// the events that pace a run, and the result files the processes leave behind.
#include <cstdint>
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

  std::vector<std::string> ToArgs() const;
  static bool FromArgs(const std::vector<std::string>& args, Plan* out);
  std::string EventName(const std::string& what) const;
  std::string ResultPath(const std::string& who) const;
};

// Payload: +0 u64 send time (ns, steady clock), +8 u64 sequence or a marker, then
// filler up to the size.
inline constexpr uint64_t kWarmUp = ~0ull;
inline constexpr uint64_t kEnd = ~0ull - 1;
void Stamp(uint8_t* payload, uint32_t size, uint64_t seq);
void ReadStamp(const uint8_t* payload, uint64_t* sent_ns, uint64_t* seq);
// Nanoseconds of the steady clock, which all processes of the machine share.
uint64_t NowNs();
// CPU time of this process so far, in nanoseconds.
uint64_t ProcessCpuNs();
// CPU time of another process from /proc (utime + stime), nanoseconds; 0 when unknown.
uint64_t OtherProcessCpuNs(uint32_t pid);

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
  // Takes one measured value (not warm-up or end).
  void Take(uint64_t sent_ns, uint64_t seq, uint64_t now_ns);
  uint64_t next_seq = 0;
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
  SubResult& result() { return result_; }
  // Writes the file; the exit code of the subscriber.
  int Finish();

 private:
  const Plan& plan_;
  RunEvents& events_;
  SubResult result_;
  bool ready_ = false;
  uint64_t cpu_start_ = 0;
};

}  // namespace orvex::bench

#include "bench/peer_common_inl.h"
