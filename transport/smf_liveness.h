#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "transport/sf_mutex.h"

namespace orvex {

// A link's liveness mutex (optional): the client holds it for as long as its link
// lives, so the bus sees a killed client within a fraction of a second (the mutex is
// then abandoned) instead of after its silence limit. The name belongs to the link:
// a V2 link's name + ".L", a classic channel's name + "_L".
std::string LivenessMutexName(const std::string& link_name, bool v2);

// The client's side: creates the mutex and holds it on a thread of its own, because a
// mutex belongs to the thread that took it and the caller's thread may end before the
// link does.
class SfLivenessHold {
 public:
  SfLivenessHold() = default;
  ~SfLivenessHold() { Release(); }
  SfLivenessHold(const SfLivenessHold&) = delete;
  SfLivenessHold& operator=(const SfLivenessHold&) = delete;

  // Creates `name` and takes it. False, holding nothing, when the name already existed
  // (it is not this link's then) or the mutex could not be made or taken.
  bool Take(const std::string& name);
  // Releases and closes the mutex; the thread ends. Nothing without a hold.
  void Release();
  bool held() const { return state_ == State::kHeld; }

 private:
  enum class State { kIdle, kStarting, kHeld, kFailed, kStopping };
  void Run(std::string name);

  std::thread thread_;
  std::mutex lock_;
  std::condition_variable changed_;
  State state_ = State::kIdle;
};

// The bus's side: looks at a client's liveness mutex without ever waiting for it.
class SfLivenessWatch {
 public:
  enum class Holder { kAlive, kEnded, kLeft };

  // Opens the client's mutex; false when it does not exist (the client did not make it).
  bool Open(const std::string& name) { return mutex_.Open(name, false); }
  // kEnded once the holder ended without releasing the mutex (killed, or crashed),
  // kLeft once it released it (closed its link without a word), kAlive while it holds
  // it. A mutex taken by the test is released again at once; the answer sticks.
  Holder Look();

 private:
  SfMutex mutex_;
  Holder last_ = Holder::kAlive;
};

}  // namespace orvex
