#include "transport/sf_mutex.h"

#include "platform/security.h"

namespace orvex {

bool SfMutex::Attach(platform::MutexObject* handle, bool acquire) {
  handle_ = handle;
  if (handle_ != nullptr && acquire) Acquire();
  return handle_ != nullptr;
}

bool SfMutex::Create(const std::string& name, bool acquire) {
  Close();
  return Attach(platform::CreateNamedMutex(name, platform::SharedSecurityAttributes(), nullptr),
                acquire);
}

bool SfMutex::Open(const std::string& name, bool acquire) {
  Close();
  return Attach(platform::OpenNamedMutex(name), acquire);
}

bool SfMutex::CreateNew() {
  Close();
  if (name_.empty()) return false;
  bool existed = false;
  handle_ = platform::CreateNamedMutex(name_, platform::SharedSecurityAttributes(), &existed);
  created_new_ = (handle_ != nullptr && !existed) ? 1 : 0;
  return handle_ != nullptr;
}

bool SfMutex::Acquire(uint32_t timeout_ms) {
  if (handle_ == nullptr) return false;
  if (count_ > 0) {
    ++count_;
    return true;
  }
  const platform::LockResult result = platform::LockMutex(handle_, timeout_ms);
  if (result != platform::LockResult::kAcquired && result != platform::LockResult::kAbandoned) {
    return false;
  }
  abandoned_ = result == platform::LockResult::kAbandoned;
  count_ = 1;
  return true;
}

void SfMutex::Release() {
  if (count_ == 0) return;
  if (--count_ == 0) platform::UnlockMutex(handle_);
}

void SfMutex::Close() {
  if (handle_ != nullptr) {
    if (count_ > 0) {
      platform::UnlockMutex(handle_);
      count_ = 0;
    }
    platform::CloseMutex(handle_);
    handle_ = nullptr;
  }
  created_new_ = 0;
}

}  // namespace orvex
