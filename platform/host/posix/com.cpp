#include "platform/com.h"

namespace orvex::platform {

// No COM on POSIX: nothing to initialise, no system texts for its codes.
ComScope::ComScope() = default;
ComScope::~ComScope() = default;

std::string SystemMessageText(uint32_t) {
  return {};
}

}  // namespace orvex::platform
