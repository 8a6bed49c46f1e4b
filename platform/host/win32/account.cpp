// The user's name on Windows.
#include "platform/account.h"

#include <windows.h>

namespace orvex::platform {

std::string CurrentUserName() {
  char name[256] = {};
  DWORD size = sizeof name;
  if (!GetUserNameA(name, &size)) return {};
  return name;
}

}  // namespace orvex::platform
