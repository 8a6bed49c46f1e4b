#pragma once
#include <string_view>

namespace orvex {

// `text` without white space (as the C library's isspace defines it) at either end.
// The view points into `text`.
std::string_view TrimSpace(std::string_view text);

}  // namespace orvex
