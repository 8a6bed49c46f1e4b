#pragma once
#include <cstdint>
#include <string>

#include "platform/clock.h"
#include "platform/named_mutex.h"

namespace orvex {

// A named cross-process mutex with its recursion counted in this object (not per
// thread): one object is used by one thread at a time. count > 0 exactly while this
// object holds the mutex.
class SfMutex {
 public:
  SfMutex() = default;
  // The create-new form: remembers `name` for CreateNew.
  explicit SfMutex(std::string name) : name_(std::move(name)) {}
  ~SfMutex() { Close(); }
  SfMutex(const SfMutex&) = delete;
  SfMutex& operator=(const SfMutex&) = delete;

  // Creates the mutex (not owned) or attaches to an existing one of that name, after
  // closing what this object held; with `acquire`, then waits for it without limit.
  // True when a handle was obtained.
  bool Create(const std::string& name, bool acquire);
  // As Create, but only opens an existing mutex; false when none exists.
  bool Open(const std::string& name, bool acquire);
  // Creates under the stored name; created_new() tells whether the mutex is new (1) or
  // already existed (0). False with an empty name or on failure.
  bool CreateNew();

  // Takes the mutex within `timeout_ms` (kInfinite: no limit). A held object only
  // counts up. An abandoned mutex counts as acquired. False without a handle or when
  // the time runs out (count stays 0).
  bool Acquire(uint32_t timeout_ms = platform::kInfinite);
  // Counts down; releases the mutex when the count reaches 0. No-op at count 0.
  void Release();
  // Releases a held mutex once, then drops the handle.
  void Close();

  bool IsOpen() const { return handle_ != nullptr; }
  uint32_t count() const { return count_; }
  uint8_t created_new() const { return created_new_; }
  // True when the last acquisition found the mutex abandoned by a dead owner.
  bool was_abandoned() const { return abandoned_; }
  const std::string& name() const { return name_; }

 private:
  bool Attach(platform::MutexObject* handle, bool acquire);

  std::string name_;
  platform::MutexObject* handle_ = nullptr;
  uint32_t count_ = 0;
  uint8_t created_new_ = 0;
  bool abandoned_ = false;
};

// Holds an SfMutex for a scope: Acquire without limit on construction, Release on
// destruction.
class SfMutexLock {
 public:
  explicit SfMutexLock(SfMutex& mutex) : mutex_(mutex) { mutex_.Acquire(); }
  ~SfMutexLock() { mutex_.Release(); }
  SfMutexLock(const SfMutexLock&) = delete;
  SfMutexLock& operator=(const SfMutexLock&) = delete;

 private:
  SfMutex& mutex_;
};

}  // namespace orvex
