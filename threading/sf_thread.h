#pragma once
#include <cstdint>

#include "platform/event.h"
#include "platform/thread.h"
#include "threading/critical_section.h"

namespace orvex {

// A long-lived worker thread. Stopping is cooperative: a derived class keeps its own
// stop flag, polled by Run; the base waits for the end and, when the wait runs out,
// ends the thread by force. Every state change is announced on one manual-reset event.
class SfThreadBase {
 public:
  SfThreadBase();
  // Calls Destroy().
  virtual ~SfThreadBase();
  SfThreadBase(const SfThreadBase&) = delete;
  SfThreadBase& operator=(const SfThreadBase&) = delete;

  // Starts a new thread running Run. False when a thread is already running (started,
  // neither finished nor killed) or the thread could not be created; a finished or
  // killed thread object starts anew.
  bool Start();
  // Waits up to 1000 ms for the thread to enter Run; true at once without a thread.
  bool WaitStarted();
  // Waits up to `timeout_ms` for Run to return (or a forced stop); true at once
  // without a thread. WaitFinished(0) only tests.
  bool WaitFinished(uint32_t timeout_ms);
  // Ends a running thread without its cooperation, then calls OnForcedStop. Locks the
  // thread held are forsaken (SfCriticalSection::ForsakeAllHeldBy): nobody waits for
  // them, and they exclude nothing any more. False without a thread or when it could not be ended.
  bool ForceStop();

  uint32_t thread_id() const { return thread_id_; }
  bool started();
  bool finished();
  bool killed();

 protected:
  // Waits up to 1000 ms for Run to return, then forces the thread to stop, and frees
  // the thread. A derived class signals its Run loop to end and calls this from its
  // own destructor, while Run is still its own; repeated calls do nothing.
  void Destroy();

  virtual void Run() = 0;
  // Called after a forced stop, with the thread object's lock held: it must not take
  // locks that a waiter on this thread might hold.
  virtual void OnForcedStop() {}

 private:
  static void Entry(void* self);
  template <typename Test>
  bool WaitFor(uint32_t timeout_ms, Test test);

  SfCriticalSection lock_;
  platform::EventObject* event_;
  platform::ThreadObject* thread_ = nullptr;
  uint32_t thread_id_ = 0;
  bool started_ = false;
  bool finished_ = false;
  bool killed_ = false;
};

// A worker thread whose Run calls a function, with a context when one was given.
class SfThread : public SfThreadBase {
 public:
  using Callback = void (*)(void* context);
  using MemberCallback = void (*)(void* object);

  // `callback` is required; `context` (may be null) is passed to it.
  SfThread(Callback callback, void* context) : callback_(callback), context_(context) {}
  ~SfThread() override { Destroy(); }

 protected:
  void Run() override {
    if (callback_ != nullptr) callback_(context_);
  }

 private:
  Callback callback_;
  void* context_;
};

}  // namespace orvex
