#pragma once
// Hooks that let tests bend the kernel group's time and thread start. They live with
// the test code so production callers cannot reach them by including a kernel header;
// the kernel defines them because they change its private state.
#include <cstdint>

namespace orvex::platform {

// Adds `offset` to every later TickCount() of this process, so tests can put the
// counter just before its wrap.
void SetTickOffsetForTesting(uint32_t offset);

// Every thread started from now on waits `ms` before it runs its function, as one the
// scheduler starves would (StartThread has returned by then). Any thread.
void SetThreadStartDelayForTesting(uint32_t ms);

// Takes (true) or drops (false) the lock of the user's named objects (NameLockPath())
// as another process would; false when there is none (Windows) or it could not be had.
bool HoldNameLockForTesting(bool hold);

}  // namespace orvex::platform
