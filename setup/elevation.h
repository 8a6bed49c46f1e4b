#pragma once
#include <string>
#include <vector>

namespace orvex {

// The first token that an elevated restart puts before the original parameters, so
// that the new copy knows it is one. The entry point removes it (MarkElevatedCopy).
inline constexpr const char* kElevatedCopyToken = "/ElevatedCopy";

// Whether the process runs with administrator rights (platform::IsTokenElevated).
// Test seam: when ORVEX_TEST_ELEVATION is set, its first character decides instead
// ("1" elevated, anything else not); see RestartElevated for the rest of the value.
bool IsProcessElevated();

// Removes a leading kElevatedCopyToken from `tokens` and remembers that this process
// is the copy an elevated restart started.
void MarkElevatedCopy(std::vector<std::string>* tokens);

// Starts this program again with administrator rights and the same parameters, then
// ends the process: prints "\nRestarting process elevated", waits for the new copy,
// then prints "\nElevated restart succeeded" and ends with the copy's exit code, or
// prints "\nElevated restart failed" and ends with -1 (prompt declined). A process that is itself
// such a copy does not restart again: it prints only the failure line and ends with -1. Test seam:
// with ORVEX_TEST_ELEVATION set, no prompt is shown; a value "x>y" accepts the restart (the success
// line comes before the copy's output) and starts the copy directly with ORVEX_TEST_ELEVATION=y,
// any other value declines it.
[[noreturn]] void RestartElevated();

}  // namespace orvex
