#pragma once
// Planting a link to a folder, for tests of code that must never go through one.
#include <string>

namespace orvex::platform {

// Makes `link` a link to the existing folder `target`. POSIX: a symbolic link.
// Windows: a directory symbolic link; under Wine, which only pretends to make one,
// a Unix symbolic link made by /bin/ln, which Wine shows as a reparse point. True
// when the link is there.
bool MakeDirectoryLink(const std::string& target, const std::string& link);

// Removes such a link (not its target); true when it is gone.
bool RemoveDirectoryLink(const std::string& link);

}  // namespace orvex::platform
