#pragma once
// "Everyone full access" given to an open file, so the rights land on the file that
// was created, whatever its path names by then.
#include <windows.h>

namespace orvex::platform {

// Replaces the access list of the file open as `file` (opened with WRITE_DAC) by one
// protected entry granting Everyone all access rights; false on failure.
bool GrantEveryoneFullAccessTo(HANDLE file);

}  // namespace orvex::platform
