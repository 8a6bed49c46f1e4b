#include "platform/notify_icon.h"

#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>

namespace orvex::platform {

int ShellMajorVersion() {
  return LOBYTE(LOWORD(GetVersion()));
}

bool ShellNotifyIcon(uint32_t operation, const NotifyIconRecord& record) {
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;  // 508 bytes in a 32-bit program
  data.hWnd = reinterpret_cast<HWND>(record.window);
  data.uID = record.id;
  data.uFlags = record.flags;
  data.uCallbackMessage = record.callback_message;
  data.hIcon = reinterpret_cast<HICON>(record.icon);
  lstrcpynA(data.szTip, record.tip, sizeof data.szTip);
  return Shell_NotifyIconA(operation, &data) != FALSE;
}

}  // namespace orvex::platform
