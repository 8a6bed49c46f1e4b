#pragma once
#include <cstdint>
#include <string>

namespace orvex::platform {

// Replaces every %NAME% reference in `text` by the value of the environment variable
// NAME (names compared without regard to case); an unknown name is copied with its
// percent signs, an unpaired % is copied as it is. Returns the length of the result
// plus one (as ExpandEnvironmentStringsA counts its terminating zero), 0 on failure.
// Windows: ExpandEnvironmentStringsA.
uint32_t ExpandEnvironmentText(const std::string& text, std::string* out);

}  // namespace orvex::platform
