#pragma once
#include <string>

namespace orvex::platform {

enum class KnownFolder {
  kProgramData,   // Windows FOLDERID_ProgramData; POSIX $ORVEX_PROGRAMDATA_DIR or /var/lib
  kLocalAppData,  // Windows CSIDL_LOCAL_APPDATA; POSIX $XDG_DATA_HOME or ~/.local/share
};

// Stores the folder's path (no trailing separator) in *path. With `create`, a missing
// folder is created first. False, with *path emptied, when it cannot be obtained.
bool GetKnownFolder(KnownFolder folder, bool create, std::string* path);

}  // namespace orvex::platform
