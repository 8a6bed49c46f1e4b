#pragma once
// The notification-area icon (Shell_NotifyIconA) and the shell version it depends on.
// POSIX: the shell is an old one without notification icons: the version is 3 and
// every icon operation does nothing and fails.
#include <cstdint>

#include "platform/window.h"
#include "platform/window_resources.h"

namespace orvex::platform {

// The notify-icon record; the Win32 backend copies it into a NOTIFYICONDATAA of the
// system's full size (508 bytes for a 32-bit program).
struct NotifyIconRecord {
  WindowHandle window = nullptr;
  uint32_t id = 0;
  uint32_t flags = 0;
  uint32_t callback_message = 0;
  IconHandle icon = nullptr;
  char tip[128] = {};
};

// Major version of the shell (low byte of GetVersion()).
int ShellMajorVersion();

// NIM_ADD, NIM_MODIFY or NIM_DELETE with the record; whether the shell accepted it.
bool ShellNotifyIcon(uint32_t operation, const NotifyIconRecord& record);

}  // namespace orvex::platform
