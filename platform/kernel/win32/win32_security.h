#pragma once
#include <windows.h>

#include "platform/security.h"

namespace orvex::platform {
// The native form of `attributes`, or null for default security.
SECURITY_ATTRIBUTES* NativeSecurity(const SecurityAttributes* attributes);
}  // namespace orvex::platform
