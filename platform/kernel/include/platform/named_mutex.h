#pragma once
#include <cstdint>
#include <string>

#include "platform/security.h"

namespace orvex::platform {

// A named mutex shared between processes, recursive for its owning thread. When the
// owner ends (thread or process, also when killed) without releasing it, the next
// waiter acquires it as kAbandoned.
struct MutexObject;

enum class LockResult { kAcquired, kAbandoned, kTimedOut, kFailed };

// Creates a mutex (not owned) or attaches to an existing one of that name, setting
// *already_existed. nullptr on failure; release with CloseMutex.
MutexObject* CreateNamedMutex(const std::string& name, const SecurityAttributes* security,
                              bool* already_existed);

// Opens an existing mutex; nullptr (creating nothing) when none exists.
MutexObject* OpenNamedMutex(const std::string& name);

// Waits up to `timeout_ms` (kInfinite: no limit, 0: test only) for ownership.
LockResult LockMutex(MutexObject* mutex, uint32_t timeout_ms);

// Releases one level of ownership; false when the caller is not the owner.
bool UnlockMutex(MutexObject* mutex);

// Releases the caller's hold on the object (not its ownership); null is ignored.
void CloseMutex(MutexObject* mutex);

}  // namespace orvex::platform
