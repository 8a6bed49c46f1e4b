#pragma once
// Access to one file for every user of the machine.
#include <string>

namespace orvex::platform {

// Replaces the file's access list by one entry granting Everyone (S-1-1-0) all
// access rights (mask 0xFFFFFFFF), not inherited. POSIX: mode 0666. False on failure.
bool GrantEveryoneFullAccess(const std::string& path);

// Reads the access list back: true when it lets Everyone read, write and delete the
// file and denies Everyone nothing (POSIX: the permission bits are exactly 0666). Not
// the exact one-entry test, because Wine keeps only what the file's Unix mode can
// express and reads that back as a list of its own. Used by tests and diagnostics.
bool EveryoneHasFullAccess(const std::string& path);

}  // namespace orvex::platform
