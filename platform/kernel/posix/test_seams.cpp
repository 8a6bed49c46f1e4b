#include "platform/test_seams.h"

#include <unistd.h>

#include <cstdlib>

namespace orvex::platform {

const char* FollowedVariable(const char* name) {
#ifndef ORVEX_TEST_SEAMS
  if (geteuid() == 0) return nullptr;
#endif
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

}  // namespace orvex::platform
