#pragma once
#include <string>

// The current user's Excel trusted locations: sub-keys of the Excel user key +
// "\Security\Trusted Locations", each with a "Path" value. When no Excel version is
// registered the key cannot be named; every operation then answers false without
// writing or deleting anything.
namespace orvex::SfExcelUtil {

// First of Location0 ... Location999 that does not exist (the parent key is created).
bool FindFreeLocationKeyName(std::string* name);
// Writes a new location: "Path" = folder, "AllowSubFolders" = 1 and, when not empty,
// "Description". True when a free name was found and "Path" was written.
bool AddTrustedLocation(const std::string& folder, const std::string& description);
// Deletes every location whose "Path" is `folder` or a folder below it (compared
// without regard to case; "C:\Prog" takes "C:\Prog\Sub" but not "C:\Program Files");
// true when at least one was deleted. An empty folder matches nothing.
bool RemoveTrustedLocation(const std::string& folder);
// True when some location's "Path" equals the folder, compared without regard to case.
bool IsTrustedLocation(const std::string& folder);

}  // namespace orvex::SfExcelUtil
