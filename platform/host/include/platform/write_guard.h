#pragma once
// Whether a file or folder can be changed by someone other than the machine's
// administrators and one trusted owner: what an elevated run asks before it registers
// or starts a file it found.
#include <string>

namespace orvex::platform {

// True when `path` is no link (POSIX: a symbolic link; Windows: a reparse point) and
// only administrators and the owner of `trusted_owner_of` can write it. POSIX: owned by
// root or that owner, no group or other write bit. Windows: owned by an administrator,
// SYSTEM or that owner, and no access-allowed entry of its access list grants a write
// right to anyone else (no list at all grants everyone everything). False when the
// answer cannot be read.
bool WritableOnlyByAdminsAndOwner(const std::string& path, const std::string& trusted_owner_of);

// True when `path` is no link and is owned by an administrator or SYSTEM (POSIX: root)
// or by the user this process runs as: a folder no other user can have made. False
// when the owner cannot be read.
bool OwnedByAdminsOrSelf(const std::string& path);

// True when `path` is a symbolic link (Windows: carries a reparse point).
bool IsLinkEntry(const std::string& path);

}  // namespace orvex::platform
