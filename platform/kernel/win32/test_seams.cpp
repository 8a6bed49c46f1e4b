#include "platform/test_seams.h"

#include <windows.h>

#include <cstdlib>

namespace orvex::platform {

namespace {

#ifndef ORVEX_TEST_SEAMS
// The token's elevation, asked here: the kernel library cannot use the host's.
bool Elevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  const bool ok =
      GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) != 0;
  CloseHandle(token);
  return ok && elevation.TokenIsElevated != 0;
}
#endif

}  // namespace

const char* FollowedVariable(const char* name) {
#ifndef ORVEX_TEST_SEAMS
  if (Elevated()) return nullptr;
#endif
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

}  // namespace orvex::platform
