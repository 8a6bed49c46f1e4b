// %NAME% expansion on Windows: ExpandEnvironmentStringsA.
#include "platform/env_expand.h"

#include <windows.h>

namespace orvex::platform {

uint32_t ExpandEnvironmentText(const std::string& text, std::string* out) {
  DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
  if (needed == 0) return 0;
  std::string buffer(needed, '\0');
  DWORD got = ExpandEnvironmentStringsA(text.c_str(), buffer.data(), needed);
  if (got == 0 || got > needed) return 0;
  buffer.resize(got - 1);
  *out = std::move(buffer);
  return got;
}

}  // namespace orvex::platform
