#include "platform/input_idle.h"

#include <windows.h>

namespace orvex::platform {

bool WaitForInputIdleOf(uint32_t process_id, uint32_t timeout_ms) {
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, process_id);
  if (process == nullptr) return false;
  const DWORD waited = WaitForInputIdle(process, timeout_ms);
  CloseHandle(process);
  return waited == 0;
}

}  // namespace orvex::platform
