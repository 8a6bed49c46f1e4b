#include "platform/security.h"

namespace orvex::platform {

// On POSIX every named object lives in the per-user namespace with mode 0600; there
// is nothing to build, so the attributes are only a marker.
struct SecurityAttributes {
  int mode;
};

const SecurityAttributes* SharedSecurityAttributes() {
  static const SecurityAttributes attributes{0600};
  return &attributes;
}

std::string DescribeSecurity(const SecurityAttributes* attributes) {
  return attributes == nullptr ? "default" : "owner-only";
}

}  // namespace orvex::platform
