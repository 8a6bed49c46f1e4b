#include "platform/message_box.h"

#include <windows.h>

namespace orvex::platform {

int ShowMessageBox(WindowHandle owner, const char* text, const char* caption, uint32_t type) {
  return MessageBoxA(reinterpret_cast<HWND>(owner), text, caption, type);
}

}  // namespace orvex::platform
