// %NAME% expansion on POSIX, with the Windows rules for unknown names.
#include "platform/env_expand.h"

#include <strings.h>

#include <cstring>

extern char** environ;

namespace orvex::platform {

namespace {

// Windows variable names ignore case; POSIX ones do not, so search the whole block.
const char* FindVariable(const std::string& name) {
  if (name.empty()) return nullptr;
  for (char** entry = environ; entry && *entry; ++entry) {
    if (strncasecmp(*entry, name.c_str(), name.size()) == 0 && (*entry)[name.size()] == '=') {
      return *entry + name.size() + 1;
    }
  }
  return nullptr;
}

}  // namespace

uint32_t ExpandEnvironmentText(const std::string& text, std::string* out) {
  std::string result;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t open = text.find('%', pos);
    if (open == std::string::npos) {
      result.append(text, pos, std::string::npos);
      break;
    }
    result.append(text, pos, open - pos);
    const size_t close = text.find('%', open + 1);
    if (close == std::string::npos) {
      result.append(text, open, std::string::npos);
      break;
    }
    const char* value = FindVariable(text.substr(open + 1, close - open - 1));
    if (value) {
      result += value;
    } else {
      result.append(text, open, close - open + 1);
    }
    pos = close + 1;
  }
  *out = std::move(result);
  return static_cast<uint32_t>(out->size() + 1);
}

}  // namespace orvex::platform
