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

int StartElevated(const std::string& program, const std::string& parameters, int* exit_code) {
  if (exit_code == nullptr) {
    HINSTANCE result = ShellExecuteA(nullptr, "runas", program.c_str(), parameters.c_str(), nullptr,
                                     SW_SHOWNORMAL);
    return static_cast<int>(reinterpret_cast<intptr_t>(result));
  }
  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
  info.lpVerb = "runas";
  info.lpFile = program.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExA(&info)) return 5;  // as ShellExecuteA's "access denied"
  DWORD code = 0;
  if (info.hProcess == nullptr || WaitForSingleObject(info.hProcess, INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(info.hProcess, &code)) {
    code = static_cast<DWORD>(-1);
  }
  if (info.hProcess != nullptr) CloseHandle(info.hProcess);
  *exit_code = static_cast<int>(code);
  return 42;
}

bool InvokingUser(uint32_t*) {
  return false;
}

int RunAsUser(uint32_t, const std::string&, const std::vector<std::string>&) {
  return -1;
}

}  // namespace orvex::platform
