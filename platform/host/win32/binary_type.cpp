// Executable classification on Windows: GetBinaryTypeA.
#include "platform/binary_type.h"

#include <windows.h>

namespace orvex::platform {

bool ClassifyExecutable(const std::string& path, BinaryType* type) {
  DWORD kind = 0;
  if (!GetBinaryTypeA(path.c_str(), &kind)) return false;
  *type = kind == SCS_32BIT_BINARY   ? BinaryType::k32Bit
          : kind == SCS_64BIT_BINARY ? BinaryType::k64Bit
                                     : BinaryType::kOther;
  return true;
}

}  // namespace orvex::platform
