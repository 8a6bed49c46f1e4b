#include "platform/notify_icon.h"

namespace orvex::platform {

// A headless session has no notification area: report the shell of a system that
// predates notification icons, so callers skip them.
int ShellMajorVersion() {
  return 3;
}

bool ShellNotifyIcon(uint32_t, const NotifyIconRecord&) {
  return false;
}

}  // namespace orvex::platform
