#pragma once
// Writing a whole buffer to a descriptor, which write() may take in pieces.
#include <cstddef>

namespace orvex::platform::posix {

// Writes all `size` bytes of `data` to `fd`, again after a signal interrupted the call.
// False when the descriptor refuses (closed pipe, full disk); part may then be written.
bool WriteAll(int fd, const void* data, size_t size);

}  // namespace orvex::platform::posix
