#include "platform/security.h"

#include <windows.h>
// sddl.h needs the types of windows.h.
#include <sddl.h>

#include "win32_security.h"

namespace orvex::platform {

struct SecurityAttributes {
  SECURITY_ATTRIBUTES value;
};

const SecurityAttributes* SharedSecurityAttributes() {
  static SecurityAttributes* attributes = [] {
    auto* a = new SecurityAttributes{};
    a->value.nLength = sizeof(SECURITY_ATTRIBUTES);
    a->value.bInheritHandle = FALSE;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    // On failure the descriptor stays null and objects get default security.
    ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "D:(A;OICI;GA;;;BG)(A;OICI;GA;;;AN)(A;OICI;GA;;;AU)(A;OICI;GA;;;BA)", SDDL_REVISION_1,
        &descriptor, nullptr);
    a->value.lpSecurityDescriptor = descriptor;
    return a;
  }();
  return attributes;
}

std::string DescribeSecurity(const SecurityAttributes* attributes) {
  if (attributes == nullptr || attributes->value.lpSecurityDescriptor == nullptr) return "default";
  LPSTR text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(
          attributes->value.lpSecurityDescriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
          nullptr)) {
    return "default";
  }
  std::string result = text;
  LocalFree(text);
  return result;
}

// Used by the other Win32 sources of this backend.
SECURITY_ATTRIBUTES* NativeSecurity(const SecurityAttributes* attributes) {
  return attributes == nullptr ? nullptr : const_cast<SECURITY_ATTRIBUTES*>(&attributes->value);
}

}  // namespace orvex::platform
