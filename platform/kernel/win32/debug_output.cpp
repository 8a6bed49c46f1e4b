#include "platform/debug_output.h"

#include <windows.h>

namespace orvex::platform {

void DebugOutput(const char* text) {
  if (text != nullptr) OutputDebugStringA(text);
}

}  // namespace orvex::platform
