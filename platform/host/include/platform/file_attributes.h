#pragma once
#include <string>

namespace orvex::platform {

enum class PathKind { kMissing, kFile, kDirectory };

// What `path` names. kMissing also when its attributes cannot be read.
// Windows: GetFileAttributesA. POSIX: stat (following symbolic links).
PathKind GetPathKind(const std::string& path);

}  // namespace orvex::platform
