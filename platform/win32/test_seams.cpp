#include "platform/test_seams.h"

#include <cstdlib>

#include "platform/elevation.h"

namespace orvex::platform {

const char* FollowedVariable(const char* name) {
#ifndef ORVEX_TEST_SEAMS
  if (IsTokenElevated()) return nullptr;
#endif
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

}  // namespace orvex::platform
