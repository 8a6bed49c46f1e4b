#pragma once
// Running one row of the peer benchmark once: the hub, the publisher and subscriber
// processes, and what the harness measures of them from outside.
#include <cstdint>
#include <string>

#include "bench/peer_common.h"
#include "bench/peer_table.h"
#include "platform/process.h"

namespace orvex::bench {

std::string Family(const std::string& system);

// A hub the harness starts and stops: bus_host, the zmq proxy role or RouDi.
class Hub {
 public:
  // `backlog`: bytes per link for bus_host; 0 leaves the bus's default.
  Hub(const std::string& self, const Plan& plan, uint64_t backlog);
  ~Hub();
  Hub(const Hub&) = delete;
  Hub& operator=(const Hub&) = delete;
  bool ok() const { return ok_; }
  uint32_t Pid() const;
  uint64_t CpuNs() const { return OtherProcessCpuNs(Pid()); }
  double MemoryMib(const std::string& field) const;

 private:
  Plan plan_;
  RunEvents events_;
  platform::ProcessObject* process_ = nullptr;
  bool ok_ = true;
};

// Counts another process's system calls while it lives, with `perf stat` on the
// raw_syscalls tracepoint (counted in the kernel: the process is not slowed as under a
// tracer). Stop() answers the count, or -1 when perf could not count here.
class SyscallCounter {
 public:
  SyscallCounter(uint32_t pid, const std::string& file);
  ~SyscallCounter();
  SyscallCounter(const SyscallCounter&) = delete;
  SyscallCounter& operator=(const SyscallCounter&) = delete;
  double Stop();
  // Seconds from the start of counting to Stop.
  double Seconds() const { return static_cast<double>(stopped_ns_ - started_ns_) / 1e9; }

 private:
  std::string file_;
  platform::ProcessObject* process_ = nullptr;
  uint64_t started_ns_ = 0, stopped_ns_ = 0;
};

struct RunOptions {
  uint32_t subs = 1;
  // Measure the hub quiet for this long before "go" (0: not).
  uint32_t idle_ms = 0;
  // Subscriber `slow_index` reads at `slow_rate` values/s (0: every one as fast as it can).
  uint32_t slow_index = 0, slow_rate = 0;
};

Row RunOne(const std::string& self, Plan plan, const RunOptions& options, Hub* shared_hub);

// The subscribe storm: Plan::topics requests from one subscriber of our bus, the
// publisher registered before them or started once the bus took them.
Row RunStorm(const std::string& self, Plan plan, bool publisher_first);

}  // namespace orvex::bench
