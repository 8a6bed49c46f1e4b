#include "transport/smf_liveness.h"

namespace orvex {

std::string LivenessMutexName(const std::string& link_name, bool v2) {
  return link_name + (v2 ? ".L" : "_L");
}

bool SfLivenessHold::Take(const std::string& name) {
  Release();
  std::unique_lock<std::mutex> hold(lock_);
  state_ = State::kStarting;
  thread_ = std::thread(&SfLivenessHold::Run, this, name);
  changed_.wait(hold, [this] { return state_ != State::kStarting; });
  return state_ == State::kHeld;
}

void SfLivenessHold::Release() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (state_ == State::kHeld) state_ = State::kStopping;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  state_ = State::kIdle;
}

void SfLivenessHold::Run(std::string name) {
  SfMutex mutex(std::move(name));
  // A name that already existed may be held or watched by someone else: not ours.
  const bool taken = mutex.CreateNew() && mutex.created_new() != 0 && mutex.Acquire(0);
  std::unique_lock<std::mutex> hold(lock_);
  state_ = taken ? State::kHeld : State::kFailed;
  changed_.notify_all();
  if (!taken) return;
  changed_.wait(hold, [this] { return state_ == State::kStopping; });
  hold.unlock();
  mutex.Close();  // released by the thread that owns it
}

SfLivenessWatch::Holder SfLivenessWatch::Look() {
  if (last_ != Holder::kAlive || !mutex_.IsOpen()) return last_;
  if (!mutex_.Acquire(0)) return Holder::kAlive;
  last_ = mutex_.was_abandoned() ? Holder::kEnded : Holder::kLeft;
  mutex_.Release();
  return last_;
}

}  // namespace orvex
