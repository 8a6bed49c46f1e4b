#pragma once
// COM initialisation of the calling thread, and the system's text for an error code.
#include <cstdint>
#include <string>

namespace orvex::platform {

// CoInitialize(NULL) on construction and, when that succeeded, CoUninitialize() on
// destruction, on the same thread. POSIX has no COM: both do nothing.
class ComScope {
 public:
  ComScope();
  ~ComScope();
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

  // True when CoInitialize succeeded here (never on POSIX).
  bool initialized() const { return initialized_; }

 private:
  bool initialized_ = false;
};

// The system's message for an error code (FormatMessageA from the system table) with
// its trailing line break removed; empty when the system has none (always on POSIX).
std::string SystemMessageText(uint32_t code);

}  // namespace orvex::platform
