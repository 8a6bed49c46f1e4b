#pragma once
#include <cstdint>

namespace orvex {

// Type byte of a bus value. Code 11 is unused; types 10 and 14 live only inside the
// program and never travel on the wire. 12 and 13 behave like 5 and 6 but keep their
// own code so a receiver can tell them apart.
enum class RtdValueType : uint8_t {
  kEmpty = 0,
  kInt32 = 1,
  kInt64 = 2,
  kDouble = 3,
  kBool = 4,
  kText = 5,
  kWideText = 6,
  kBytes = 7,
  kDate = 8,
  kDateTime = 9,
  kTextList = 10,
  kText2 = 12,
  kWideText2 = 13,
  kValueList = 14,
};

// True for the 8-bit text kinds (5 and 12).
constexpr bool IsTextType(RtdValueType t) {
  return t == RtdValueType::kText || t == RtdValueType::kText2;
}

// True for the wide text kinds (6 and 13).
constexpr bool IsWideTextType(RtdValueType t) {
  return t == RtdValueType::kWideText || t == RtdValueType::kWideText2;
}

// True for the types that messages can carry: 0 to 9, 12 and 13.
constexpr bool IsWireType(uint8_t code) {
  return code <= 9 || code == 12 || code == 13;
}

}  // namespace orvex
