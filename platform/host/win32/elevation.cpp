#include "platform/elevation.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdint>

namespace orvex::platform {

bool IsTokenElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const BOOL ok = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  CloseHandle(token);
  return ok && elevation.TokenIsElevated != 0;
}

int StartElevated(const std::string& program, const std::string& parameters) {
  HINSTANCE result =
      ShellExecuteA(nullptr, "runas", program.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
  return static_cast<int>(reinterpret_cast<intptr_t>(result));
}

}  // namespace orvex::platform
