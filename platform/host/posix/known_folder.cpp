// Known folders on POSIX: the XDG and /var/lib conventions, overridable for tests.
#include "platform/known_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/test_seams.h"

namespace orvex::platform {

namespace {

const char* Env(const char* name) {
  return FollowedVariable(name);
}

// HOME when this run follows it, else the account's home from the password database.
std::string Home() {
  if (const char* home = Env("HOME")) return home;
  const passwd* entry = getpwuid(geteuid());
  return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

bool MakeDirs(const std::string& dir) {
  for (size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos < dir.size() && dir[pos] != '/') continue;
    if (mkdir(dir.substr(0, pos).c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace

bool GetKnownFolder(KnownFolder folder, bool create, std::string* path) {
  path->clear();
  std::string result;
  if (folder == KnownFolder::kProgramData) {
    const char* dir = Env("ORVEX_PROGRAMDATA_DIR");
    result = dir ? dir : "/var/lib";
  } else if (const char* data = Env("XDG_DATA_HOME")) {
    result = data;
  } else if (const std::string home = Home(); !home.empty()) {
    result = home + "/.local/share";
  } else {
    return false;
  }
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  struct stat info;
  if (stat(result.c_str(), &info) != 0 && (!create || !MakeDirs(result))) return false;
  *path = std::move(result);
  return true;
}

}  // namespace orvex::platform
