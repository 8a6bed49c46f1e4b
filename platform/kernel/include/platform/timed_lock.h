#pragma once
#include <chrono>
#include <mutex>
#include <thread>

namespace orvex::platform {

// A lock among this process's threads whose wait may end at a deadline. A plain mutex
// tried again every 100 microseconds rather than a timed mutex: the thread sanitizer
// cannot see a timed mutex's timed lock and would report each later unlock as a fault.
// A holder that died keeps it held, as with a timed mutex: waiters with a deadline then
// give up. Not recursive; any thread.
class TimedLock {
 public:
  using Clock = std::chrono::steady_clock;

  // Waits until the calling thread holds the lock.
  void Enter() { mutex_.lock(); }
  // As Enter, but false, holding nothing, once `deadline` has passed.
  bool EnterBy(Clock::time_point deadline) {
    while (!mutex_.try_lock()) {
      if (Clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
  }
  // Ends the caller's hold.
  void Leave() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

}  // namespace orvex::platform
