#pragma once
#include <cstdint>

namespace orvex::platform {

// Waits until another process has finished starting: its user-interface thread waits
// in its message loop with nothing to do (Win32: WaitForInputIdle). POSIX, where sent
// messages are handled only by a message loop: until that loop answers a message sent to
// one of the process's top-level windows. False when that did not happen within
// `timeout_ms`, or the process is gone or (POSIX) showed no window meanwhile.
bool WaitForInputIdleOf(uint32_t process_id, uint32_t timeout_ms);

}  // namespace orvex::platform
