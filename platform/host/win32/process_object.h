#pragma once
// The process handle behind platform::ProcessObject, shared by the files that start
// processes.
#include <windows.h>

namespace orvex::platform {

struct ProcessObject {
  PROCESS_INFORMATION info;
};

}  // namespace orvex::platform
