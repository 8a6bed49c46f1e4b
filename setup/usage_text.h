#pragma once
#include <string>
#include <string_view>

namespace orvex {

// The simplified grammar's part of the usage text for the program `stem`: per action
// "\n\t" + stem + syntax, then "\n\t\t" + each description line.
std::string SimplifiedUsageText(std::string_view stem);

}  // namespace orvex
