// Path kinds on POSIX: stat.
#include "platform/file_attributes.h"

#include <sys/stat.h>

namespace orvex::platform {

PathKind GetPathKind(const std::string& path) {
  struct stat info;
  if (path.empty() || stat(path.c_str(), &info) != 0) return PathKind::kMissing;
  return S_ISDIR(info.st_mode) ? PathKind::kDirectory : PathKind::kFile;
}

}  // namespace orvex::platform
