// Write rights by owner and mode bits.
#include "platform/write_guard.h"

#include <sys/stat.h>
#include <unistd.h>

namespace orvex::platform {

bool WritableOnlyByAdminsAndOwner(const std::string& path, const std::string& trusted_owner_of) {
  struct stat owner_info;
  struct stat info;
  if (stat(trusted_owner_of.c_str(), &owner_info) != 0 || lstat(path.c_str(), &info) != 0) {
    return false;
  }
  if (S_ISLNK(info.st_mode)) return false;
  if (info.st_uid != 0 && info.st_uid != owner_info.st_uid) return false;
  return (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool OwnedByAdminsOrSelf(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && !S_ISLNK(info.st_mode) &&
         (info.st_uid == 0 || info.st_uid == geteuid());
}

bool IsLinkEntry(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

}  // namespace orvex::platform
