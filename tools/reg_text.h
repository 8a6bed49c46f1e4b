#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::tools {

// One value as a line of .reg text: "name"= (or @= for the default value) followed by
// a quoted text for a REG_SZ that holds one terminating zero and no other zero or line
// break, dword:xxxxxxxx for a 4-byte REG_DWORD, hex:.. for REG_BINARY and hex(type):..
// for everything else, bytes exactly as stored.
std::string RegValueLine(std::string_view name, uint32_t type, const std::vector<uint8_t>& data);

}  // namespace orvex::tools
