#include "bus/slow_policy.h"

#include <cctype>
#include <string>

namespace orvex {

bool ParseSlowPolicy(std::string_view text, SlowPolicy* policy) {
  std::string lower;
  for (char ch : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  if (lower == "conflate") {
    *policy = SlowPolicy::kConflate;
  } else if (lower == "block") {
    *policy = SlowPolicy::kBlock;
  } else {
    return false;
  }
  return true;
}

const char* SlowPolicyName(SlowPolicy policy) {
  return policy == SlowPolicy::kBlock ? "block" : "conflate";
}

}  // namespace orvex
