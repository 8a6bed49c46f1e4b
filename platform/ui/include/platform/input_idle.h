#pragma once
#include <cstdint>

namespace orvex::platform {

// Waits until another process has finished starting: its user-interface thread waits
// in its message loop with nothing to do. Win32: WaitForInputIdle, then a message sent
// to one of its top-level windows must be answered too (Wine may report idle early);
// POSIX, where sent messages are handled only by a message loop: that answer alone.
// False when that did not happen within `timeout_ms`, or the process is gone or
// (POSIX) showed no window meanwhile.
bool WaitForInputIdleOf(uint32_t process_id, uint32_t timeout_ms);

}  // namespace orvex::platform
