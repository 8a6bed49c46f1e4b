// "Everyone full access" on POSIX: read and write for owner, group and others.
#include "platform/file_access.h"

#include <sys/stat.h>

namespace orvex::platform {

bool GrantEveryoneFullAccess(const std::string& path) {
  return chmod(path.c_str(), 0666) == 0;
}

bool EveryoneHasFullAccess(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && (info.st_mode & 07777) == 0666;
}

}  // namespace orvex::platform
