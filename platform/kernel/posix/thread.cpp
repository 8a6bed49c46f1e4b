#include "platform/thread.h"
#include "platform/test_hooks.h"

#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include "futex_event.h"
#include "platform/clock.h"

namespace orvex::platform {

// Shared by the owner's handle and the running thread; the last of the two frees it.
struct ThreadObject {
  pthread_t handle{};
  ThreadProc proc = nullptr;
  void* arg = nullptr;
  std::atomic<int> refs{2};
  std::atomic<uint32_t> tid{0};
  posix::FutexEvent started;
  posix::FutexEvent ended;
};

namespace {

std::atomic<uint32_t> start_delay_ms{0};

void Unref(ThreadObject* thread) {
  if (thread->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete thread;
}

// Marks the end however the thread ends: return, cancellation or the stop signal all
// unwind through this destructor.
struct EndMark {
  ThreadObject* thread;
  ~EndMark() {
    posix::SetFutexEvent(&thread->ended);
    Unref(thread);
  }
};

void* Trampoline(void* raw) {
  auto* thread = static_cast<ThreadObject*>(raw);
  EndMark mark{thread};
  thread->tid.store(static_cast<uint32_t>(syscall(SYS_gettid)), std::memory_order_release);
  posix::SetFutexEvent(&thread->started);
  if (const uint32_t delay = start_delay_ms.load()) SleepMs(delay);
  thread->proc(thread->arg);
  return nullptr;
}

// Second resort of a forced stop, for a thread that reaches no cancellation point.
const int kStopSignal = SIGRTMIN + 3;

void OnStopSignal(int) {
  pthread_exit(nullptr);
}

void InstallStopHandler() {
  static const bool installed = [] {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    return sigaction(kStopSignal, &action, nullptr) == 0;
  }();
  (void)installed;
}

}  // namespace

ThreadObject* StartThread(ThreadProc proc, void* arg, uint32_t* thread_id) {
  InstallStopHandler();
  auto* thread = new ThreadObject;
  thread->proc = proc;
  thread->arg = arg;
  if (pthread_create(&thread->handle, nullptr, Trampoline, thread) != 0) {
    delete thread;
    return nullptr;
  }
  // The id is the kernel's, known only inside the thread: wait for it to report.
  posix::WaitFutexEvent(&thread->started, kInfinite);
  if (thread_id != nullptr) *thread_id = thread->tid.load(std::memory_order_acquire);
  return thread;
}

bool WaitThreadEnd(ThreadObject* thread, uint32_t timeout_ms) {
  if (thread == nullptr) return true;
  return posix::WaitFutexEvent(&thread->ended, timeout_ms) == WaitResult::kSignalled;
}

bool ForceStopThread(ThreadObject* thread) {
  if (thread == nullptr) return false;
  if (WaitThreadEnd(thread, 0)) return true;
  if (pthread_equal(thread->handle, pthread_self())) pthread_exit(nullptr);
  pthread_cancel(thread->handle);
  if (WaitThreadEnd(thread, 200)) return true;
  pthread_kill(thread->handle, kStopSignal);
  return WaitThreadEnd(thread, 800);
}

void CloseThread(ThreadObject* thread) {
  if (thread == nullptr) return;
  // Not detached until now, so the handle stayed valid for a forced stop.
  if (WaitThreadEnd(thread, 0)) {
    pthread_join(thread->handle, nullptr);
  } else {
    pthread_detach(thread->handle);
  }
  Unref(thread);
}

void SetThreadStartDelayForTesting(uint32_t ms) {
  start_delay_ms.store(ms);
}

uint32_t CurrentThreadId() {
  // Locks record their owner on every entry; a system call each time would dominate
  // the message path.
  thread_local const uint32_t id = static_cast<uint32_t>(syscall(SYS_gettid));
  return id;
}

uint32_t CurrentProcessId() {
  return static_cast<uint32_t>(getpid());
}

}  // namespace orvex::platform
