#pragma once
// A bus server in the test process (so its clock can be moved) on a name of its own,
// with the lines it writes collected for the tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bus/rtd_server.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "tests/bus_script.h"
#include "tests/support/child_process.h"
#include "transport/named_event.h"

namespace orvex::test {

class BusFixture : public ::testing::Test {
 protected:
  void StartBus(RtdServer::Options options = {}) {
    options.base_name = base_;
    options.shutdown_grace_ms = grace_ms_;
    options.log_observer = [this](const std::string& line) {
      std::lock_guard<std::mutex> hold(lines_lock_);
      lines_.push_back(line);
    };
    server_ = std::make_unique<RtdServer>(std::move(options));
    ASSERT_TRUE(server_->listening());
  }
  void TearDown() override {
    server_.reset();
    for (auto* event : held_events_) platform::CloseEvent(event);
  }
  // Sets a named event a child waits for; the event stays open (and set) until the
  // test ends, so a child that opens it late still finds it set.
  void Signal(const std::string& name) {
    platform::EventObject* event = MakeNamedEvent(name, false);
    platform::SetEvent(event);
    held_events_.push_back(event);
  }
  // Waits for a named event a child sets.
  static bool WaitSignal(const std::string& name, uint32_t timeout_ms = 20000) {
    platform::EventObject* event = MakeNamedEvent(name, false);
    const bool ok = platform::WaitEvent(event, timeout_ms) == platform::WaitResult::kSignalled;
    platform::CloseEvent(event);
    return ok;
  }

  // Waits until `pred` holds, polling; false after `timeout_ms`.
  template <typename Pred>
  static bool WaitUntil(Pred pred, uint32_t timeout_ms = 15000) {
    const uint32_t start = platform::TickCount();
    while (!pred()) {
      // Signed: a tick that steps back a little must not end the wait at once.
      if (static_cast<int32_t>(platform::TickCount() - start) > static_cast<int32_t>(timeout_ms)) {
        return false;
      }
      platform::SleepMs(2);
    }
    return true;
  }
  bool HasLine(const std::string& line) {
    std::lock_guard<std::mutex> hold(lines_lock_);
    return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
  }
  bool WaitLine(const std::string& line, uint32_t timeout_ms = 15000) {
    return WaitUntil([&] { return HasLine(line); }, timeout_ms);
  }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> hold(lines_lock_);
    return lines_;
  }
  platform::ProcessObject* Spawn(const std::vector<std::string>& steps) {
    return SpawnBusScript(base_, steps);
  }
  // The name of the test's named event `stem`, shared with its children (the same stem
  // gives the same name within one test, never across tests).
  // The test holds every such event open until it ends, so a child that sets one and
  // exits before another child opened it does not take the event with it.
  std::string EventName(const std::string& stem) {
    const std::string name = event_prefix_ + "_" + stem;
    if (named_events_.count(name) == 0) {
      platform::EventObject* event = MakeNamedEvent(name, false);
      named_events_[name] = event;
      held_events_.push_back(event);
    }
    return name;
  }

  uint32_t grace_ms_ = 50;  // the bus's shutdown grace time
  std::string base_ = UniqueName("Local\\OrvexBusT");
  std::string event_prefix_ = UniqueName("Local\\OrvexEv");
  std::unique_ptr<RtdServer> server_;
  std::mutex lines_lock_;
  std::vector<std::string> lines_;
  std::vector<platform::EventObject*> held_events_;
  std::map<std::string, platform::EventObject*> named_events_;
};

// A sanitizer's allocator holds freed blocks back and adds its own to every block:
// resident memory then says nothing of the bus's bounds, so those builds skip them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kResidentBoundsHold = false;
#else
inline constexpr bool kResidentBoundsHold = true;
#endif

// ThreadSanitizer reports what a forced thread stop does on purpose (the thread's
// unwinding runs inside the signal that ends it) and the vtable store of a test class
// derived from a server whose thread already runs: those builds skip such tests.
#if defined(__SANITIZE_THREAD__)
inline constexpr bool kThreadSanitizer = true;
#else
inline constexpr bool kThreadSanitizer = false;
#endif

// Resident memory of this process in kB where the system shows it (Linux), else 0.
inline uint64_t ResidentKb() {
  std::ifstream statm("/proc/self/statm");
  uint64_t pages = 0, resident = 0;
  if (!(statm >> pages >> resident)) return 0;
  return resident * 4;
}

// CPU time this process has used, in ms, where the system shows it (Linux), else 0.
inline uint64_t ProcessCpuMs() {
  std::ifstream stat("/proc/self/stat");
  std::string field;
  uint64_t user = 0, system = 0;
  // The name (field 2) has no spaces here; utime and stime are fields 14 and 15, in
  // clock ticks of 10 ms.
  for (int i = 1; i <= 13 && (stat >> field); ++i) {
  }
  if (!(stat >> user >> system)) return 0;
  return (user + system) * 10;
}

// Both link kinds, for parameterised tests.
inline std::string KindName(const ::testing::TestParamInfo<std::string>& info) {
  return info.param;
}

}  // namespace orvex::test
