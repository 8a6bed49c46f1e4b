#include "platform/console.h"

#include <windows.h>

namespace orvex::platform {

bool StdoutIsTerminal() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  // Only a console answers GetConsoleMode; files and pipes fail it.
  return out != nullptr && out != INVALID_HANDLE_VALUE && GetConsoleMode(out, &mode) != 0;
}

bool EnableTerminalEscapes() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (out == nullptr || out == INVALID_HANDLE_VALUE || GetConsoleMode(out, &mode) == 0) {
    return false;
  }
  // ENABLE_VIRTUAL_TERMINAL_PROCESSING, spelled out for older SDK headers.
  constexpr DWORD kVirtualTerminal = 0x0004;
  return SetConsoleMode(out, mode | kVirtualTerminal) != 0;
}

}  // namespace orvex::platform
