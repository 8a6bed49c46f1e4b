#include "platform/named_mutex.h"

#include <windows.h>

#include "platform/clock.h"
#include "win32_security.h"

namespace orvex::platform {

struct MutexObject {
  HANDLE handle;
};

static MutexObject* Wrap(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  return new MutexObject{handle};
}

MutexObject* CreateNamedMutex(const std::string& name, const SecurityAttributes* security,
                              bool* already_existed) {
  SetLastError(ERROR_SUCCESS);
  HANDLE handle = CreateMutexA(NativeSecurity(security), FALSE, name.c_str());
  if (already_existed != nullptr) *already_existed = GetLastError() == ERROR_ALREADY_EXISTS;
  return Wrap(handle);
}

MutexObject* OpenNamedMutex(const std::string& name) {
  return Wrap(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str()));
}

LockResult LockMutex(MutexObject* mutex, uint32_t timeout_ms) {
  if (mutex == nullptr) return LockResult::kFailed;
  switch (WaitForSingleObject(mutex->handle, timeout_ms == kInfinite ? INFINITE : timeout_ms)) {
    case WAIT_OBJECT_0:
      return LockResult::kAcquired;
    case WAIT_ABANDONED:
      return LockResult::kAbandoned;
    case WAIT_TIMEOUT:
      return LockResult::kTimedOut;
    default:
      return LockResult::kFailed;
  }
}

bool UnlockMutex(MutexObject* mutex) {
  return mutex != nullptr && ReleaseMutex(mutex->handle) != FALSE;
}

void CloseMutex(MutexObject* mutex) {
  if (mutex == nullptr) return;
  CloseHandle(mutex->handle);
  delete mutex;
}

}  // namespace orvex::platform
