#pragma once
#include <cstdint>
#include <string>

namespace orvex {

// A failed COM call raised inside a command handler; the handler's Execute turns it
// into "Error: " + ErrorMessage() and the result -1.
class ComError {
 public:
  explicit ComError(uint32_t code) : code_(code) {}
  uint32_t code() const { return code_; }
  // The system's message for the code; without one, "IDispatch error #n" for the
  // dispatch range 0x8004xxxx with xxxx from 0x201 (n = xxxx - 0x200), else
  // "Unknown error 0x" and the code in hexadecimal.
  std::string ErrorMessage() const;

 private:
  uint32_t code_;
};

}  // namespace orvex
