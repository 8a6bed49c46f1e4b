#pragma once
// The child behind platform::ProcessObject, shared by the files that start processes.
#include <sys/types.h>

namespace orvex::platform {

struct ProcessObject {
  pid_t pid = 0;
  bool reaped = false;
  int exit_code = 0;
};

}  // namespace orvex::platform
