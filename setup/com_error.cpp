#include "setup/com_error.h"

#include <cstdio>

#include "platform/com.h"

namespace orvex {

std::string ComError::ErrorMessage() const {
  std::string text = platform::SystemMessageText(code_);
  if (!text.empty()) return text;
  char buffer[40];
  const uint32_t low = code_ & 0xFFFF;
  if ((code_ >> 16) == 0x8004 && low >= 0x201) {
    std::snprintf(buffer, sizeof buffer, "IDispatch error #%d", static_cast<int>(low - 0x200));
  } else {
    std::snprintf(buffer, sizeof buffer, "Unknown error 0x%0lX", static_cast<unsigned long>(code_));
  }
  return buffer;
}

}  // namespace orvex
