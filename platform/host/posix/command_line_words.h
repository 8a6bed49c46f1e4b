#pragma once
// Cutting a Windows-style command-line tail back into POSIX arguments.
#include <string>
#include <vector>

namespace orvex::platform {

// The tail cut at white space outside double quotes, the quotes kept: the inverse of
// the joining that ProcessCommandLine does.
std::vector<std::string> CutCommandTail(const std::string& tail);

}  // namespace orvex::platform
