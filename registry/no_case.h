#pragma once
#include <string_view>

namespace orvex {

// Comparisons without regard to case, as the registry and Windows file names compare:
// ASCII letters fold, every other byte compares as it is.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);
// Position of the first occurrence of `needle` in `text`, or npos.
size_t FindNoCase(std::string_view text, std::string_view needle);

}  // namespace orvex
