#pragma once
#include <string>
#include <string_view>

namespace orvex {

// The SID of the bus's own topics; no publisher may register under it.
inline constexpr std::string_view kBusSid = "BUS";

// Removes trailing, then leading space characters (only ' ') and upper-cases the rest:
// the form in which publisher identifiers are compared, by the bus and by its clients.
std::string NormalizeSid(std::string_view sid);

}  // namespace orvex
