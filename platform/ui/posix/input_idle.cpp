#include "platform/input_idle.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/window.h"
#include "platform/window_messages.h"
#include "window_system.h"
#include "window_table.h"

namespace orvex::platform {

bool WaitForInputIdleOf(uint32_t process_id, uint32_t timeout_ms) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  uint64_t handle = 0;
  for (;;) {
    EnumerateTopLevelWindows([&](WindowHandle w) {
      if (WindowProcessId(w) != process_id) return true;
      handle = posix::FromHandle(w);
      return false;
    });
    if (handle != 0) break;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (posix::IsLocalHandle(handle)) return false;  // another process's, as on Windows
  // The send waits for the owner's loop however long it takes; the caller waits only
  // until the deadline, and the sending thread ends with the answer or the owner.
  struct Answer {
    std::mutex lock;
    std::condition_variable done;
    bool arrived = false;
    bool answered = false;
  };
  auto answer = std::make_shared<Answer>();
  std::thread([handle, answer] {
    int64_t result = 0;
    const bool answered = posix::DeliverRemote(handle, WM_NULL, 0, 0, true, &result);
    std::lock_guard<std::mutex> hold(answer->lock);
    answer->arrived = true;
    answer->answered = answered;
    answer->done.notify_all();
  }).detach();
  std::unique_lock<std::mutex> hold(answer->lock);
  answer->done.wait_until(hold, deadline, [&] { return answer->arrived; });
  return answer->answered;
}

}  // namespace orvex::platform
