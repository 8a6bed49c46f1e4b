#include "platform/input_idle.h"

#include <windows.h>

namespace orvex::platform {
namespace {

struct Search {
  DWORD process_id;
  HWND found;
};

BOOL CALLBACK FindWindowOf(HWND window, LPARAM arg) {
  auto* search = reinterpret_cast<Search*>(arg);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->process_id) return TRUE;
  search->found = window;
  return FALSE;
}

HWND TopLevelWindowOf(DWORD process_id) {
  Search search{process_id, nullptr};
  EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

DWORD Remaining(DWORD start, DWORD timeout_ms) {
  const DWORD elapsed = GetTickCount() - start;
  return timeout_ms > elapsed ? timeout_ms - elapsed : 0;
}

// A console program that runs a window loop (a test's child, say) has no idle event to
// wait on: WaitForInputIdle fails at once. A window of it is waited for instead, as on
// POSIX; null when none came in time or the process ended.
HWND WaitForWindowOf(HANDLE process, DWORD process_id, DWORD start, DWORD timeout_ms) {
  for (;;) {
    if (HWND found = TopLevelWindowOf(process_id)) return found;
    const DWORD left = Remaining(start, timeout_ms);
    if (left == 0) return nullptr;
    if (WaitForSingleObject(process, left < 10 ? left : 10) == WAIT_OBJECT_0) return nullptr;
  }
}

}  // namespace

bool WaitForInputIdleOf(uint32_t process_id, uint32_t timeout_ms) {
  const DWORD start = GetTickCount();
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, process_id);
  if (process == nullptr) return false;
  const DWORD waited = WaitForInputIdle(process, timeout_ms);
  HWND window = nullptr;
  if (waited == WAIT_FAILED) {
    window = WaitForWindowOf(process, process_id, start, timeout_ms);
  } else if (waited == 0) {
    // Wine has been seen to report idle before the program's loop ran (while other
    // programs started): its loop answering a message settles it, as on POSIX.
    window = TopLevelWindowOf(process_id);
    if (window == nullptr) {
      CloseHandle(process);
      return true;  // idle with no window: the answer stands
    }
  }
  CloseHandle(process);
  if (window == nullptr) return false;
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, Remaining(start, timeout_ms),
                             &result) != 0;
}

}  // namespace orvex::platform
