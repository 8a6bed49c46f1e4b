#pragma once
#include <string>

namespace orvex::platform {

// Opaque security description passed to the creators of named objects.
struct SecurityAttributes;

// The process-wide attributes every shared object of the transport is created with,
// built on first use and never freed. Windows: a descriptor granting all access to
// guests, anonymous logons, authenticated users and administrators (so a client at
// another integrity level can open the objects); a failed conversion leaves default
// security. POSIX: owner-only access (mode 0600), the per-user namespace.
const SecurityAttributes* SharedSecurityAttributes();

// Human-readable form of `attributes` for diagnostics and tests: Windows gives the
// descriptor as an SDDL string, POSIX gives "owner-only".
std::string DescribeSecurity(const SecurityAttributes* attributes);

}  // namespace orvex::platform
