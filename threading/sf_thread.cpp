#include "threading/sf_thread.h"

#include "threading/deadline_wait.h"

namespace orvex {

SfThreadBase::SfThreadBase() : event_(platform::CreateUnnamedEvent()) {}

SfThreadBase::~SfThreadBase() {
  Destroy();
  platform::CloseEvent(event_);
}

void SfThreadBase::Destroy() {
  if (!WaitFinished(1000)) ForceStop();
  SfScopedLock guard(&lock_);
  platform::CloseThread(thread_);
  thread_ = nullptr;
}

bool SfThreadBase::Start() {
  SfScopedLock guard(&lock_);
  // A thread launched but not yet in Entry has started_ still false: it counts as
  // running all the same, or a second Start would launch another thread on this object.
  if (thread_ != nullptr && !finished_ && !killed_) return false;
  platform::CloseThread(thread_);
  thread_ = nullptr;
  platform::ResetEvent(event_);
  started_ = finished_ = killed_ = false;
  thread_ = platform::StartThread(&SfThreadBase::Entry, this, &thread_id_);
  return thread_ != nullptr;
}

void SfThreadBase::Entry(void* raw) {
  auto* self = static_cast<SfThreadBase*>(raw);
  {
    SfScopedLock guard(&self->lock_);
    self->started_ = true;
    platform::SetEvent(self->event_);
  }
  self->Run();
  SfScopedLock guard(&self->lock_);
  self->finished_ = true;
  platform::SetEvent(self->event_);
}

template <typename Test>
bool SfThreadBase::WaitFor(uint32_t timeout_ms, Test test) {
  {
    SfScopedLock guard(&lock_);
    if (thread_ == nullptr || test()) return true;
  }
  return DeadlineWait(&lock_, event_, timeout_ms, test);
}

bool SfThreadBase::WaitStarted() {
  {
    SfScopedLock guard(&lock_);
    if (thread_ == nullptr) return true;
  }
  return WaitFor(1000, [this] { return started_ || killed_; }) && started_;
}

bool SfThreadBase::WaitFinished(uint32_t timeout_ms) {
  return WaitFor(timeout_ms, [this] { return finished_ || killed_; });
}

bool SfThreadBase::ForceStop() {
  SfScopedLock guard(&lock_);
  if (thread_ == nullptr) return false;
  if (started_ && !finished_ && !killed_) {
    killed_ = platform::ForceStopThread(thread_);
    // Its holds would never be released: whoever waits for them would wait for ever.
    if (killed_) SfCriticalSection::ForsakeAllHeldBy(thread_id_);
  }
  platform::CloseThread(thread_);
  thread_ = nullptr;
  platform::SetEvent(event_);
  OnForcedStop();
  return killed_;
}

bool SfThreadBase::started() {
  SfScopedLock guard(&lock_);
  return started_;
}

bool SfThreadBase::finished() {
  SfScopedLock guard(&lock_);
  return finished_;
}

bool SfThreadBase::killed() {
  SfScopedLock guard(&lock_);
  return killed_;
}

}  // namespace orvex
