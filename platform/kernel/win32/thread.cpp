#include "platform/thread.h"
#include "platform/test_hooks.h"

#include <windows.h>

#include <atomic>

#include "platform/clock.h"

namespace orvex::platform {

struct ThreadObject {
  HANDLE handle;
};

namespace {

std::atomic<uint32_t> start_delay_ms{0};

// Owned by the new thread, which frees it before running, so the owner's handle
// can be closed at any time.
struct StartRecord {
  ThreadProc proc;
  void* arg;
};

DWORD WINAPI Trampoline(LPVOID raw) {
  const StartRecord start = *static_cast<StartRecord*>(raw);
  delete static_cast<StartRecord*>(raw);
  if (const uint32_t delay = start_delay_ms.load()) SleepMs(delay);
  start.proc(start.arg);
  return 0;
}

}  // namespace

ThreadObject* StartThread(ThreadProc proc, void* arg, uint32_t* thread_id) {
  auto* start = new StartRecord{proc, arg};
  DWORD id = 0;
  HANDLE handle = CreateThread(nullptr, 0, Trampoline, start, 0, &id);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
    delete start;
    return nullptr;
  }
  if (thread_id != nullptr) *thread_id = id;
  return new ThreadObject{handle};
}

bool WaitThreadEnd(ThreadObject* thread, uint32_t timeout_ms) {
  if (thread == nullptr) return true;
  return WaitForSingleObject(thread->handle, timeout_ms == kInfinite ? INFINITE : timeout_ms) ==
         WAIT_OBJECT_0;
}

bool ForceStopThread(ThreadObject* thread) {
  if (thread == nullptr) return false;
  if (WaitThreadEnd(thread, 0)) return true;
  if (!TerminateThread(thread->handle, 0)) return false;
  // TerminateThread returns before the thread is gone.
  return WaitThreadEnd(thread, 1000);
}

void CloseThread(ThreadObject* thread) {
  if (thread == nullptr) return;
  CloseHandle(thread->handle);
  delete thread;
}

void SetThreadStartDelayForTesting(uint32_t ms) {
  start_delay_ms.store(ms);
}

uint32_t CurrentThreadId() {
  return GetCurrentThreadId();
}

uint32_t CurrentProcessId() {
  return GetCurrentProcessId();
}

}  // namespace orvex::platform
