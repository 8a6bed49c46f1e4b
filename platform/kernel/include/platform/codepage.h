#pragma once
#include <string>
#include <string_view>

namespace orvex::platform {

// Converts UTF-16 text to the 8-bit ANSI code page, stopping at the first zero unit.
// Characters the code page cannot show become "?" (best-fit look-alikes are used where
// the code page defines them). The result holds at most one byte per code unit: a
// longer conversion (double-byte code pages) is cut there. The POSIX backend always
// uses Windows-1252, the ANSI code page of a default Windows or Wine locale, so both
// backends give the same bytes there. Any thread.
std::string WideToAnsi(std::u16string_view text);

}  // namespace orvex::platform
