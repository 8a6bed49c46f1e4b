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

}  // namespace

bool WaitForInputIdleOf(uint32_t process_id, uint32_t timeout_ms) {
  const DWORD start = GetTickCount();
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, process_id);
  if (process == nullptr) return false;
  const DWORD waited = WaitForInputIdle(process, timeout_ms);
  CloseHandle(process);
  if (waited != 0) return false;
  // Wine has been seen to report idle before the program's loop ran (while other
  // programs started): its loop answering a message settles it, as on POSIX.
  Search search{process_id, nullptr};
  EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&search));
  if (search.found == nullptr) return true;  // idle with no window: the answer stands
  const DWORD elapsed = GetTickCount() - start;
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(search.found, WM_NULL, 0, 0, SMTO_NORMAL,
                             timeout_ms > elapsed ? timeout_ms - elapsed : 0, &result) != 0;
}

}  // namespace orvex::platform
