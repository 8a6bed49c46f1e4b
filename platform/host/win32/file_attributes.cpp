// Path kinds on Windows: GetFileAttributesA.
#include "platform/file_attributes.h"

#include <windows.h>

namespace orvex::platform {

PathKind GetPathKind(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::kDirectory : PathKind::kFile;
}

}  // namespace orvex::platform
