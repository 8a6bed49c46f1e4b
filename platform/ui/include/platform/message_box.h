#pragma once
// Message boxes (MessageBoxA).
#include <cstdint>

#include "platform/window.h"

namespace orvex::platform {

// Shows a modal message box and returns the answer (IDOK for MB_OK). POSIX: there is
// no screen; the box is a top-level window of class "#32770" with `caption` as title,
// listed in the window table so another process can find it, and the text is written to
// standard error. It ends when it gets WM_COMMAND with IDOK or IDCANCEL, or WM_CLOSE
// (answer IDCANCEL).
int ShowMessageBox(WindowHandle owner, const char* text, const char* caption, uint32_t type);

}  // namespace orvex::platform
