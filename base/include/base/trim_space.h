#pragma once
#include <cctype>
#include <string_view>

namespace orvex {

// `text` without white space (as the C library's isspace defines it) at either end.
// The view points into `text`.
inline std::string_view TrimSpace(std::string_view text) {
  const auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace orvex
