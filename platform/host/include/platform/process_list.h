#pragma once
// The running processes, by the base names of their executables.
#include <string>
#include <vector>

namespace orvex::platform {

// Stores the base name of the main executable of every running process this user may
// inspect, in the system's order; processes that cannot be opened (other users',
// protected ones) are left out. False when the list cannot be read. Windows:
// EnumProcesses (8192 ids), OpenProcess, the first module's GetModuleBaseNameA. POSIX:
// /proc/<pid>/exe (a deleted executable keeps its name).
bool ListProcessModules(std::vector<std::string>* names);

// Whether a listed module name is `wanted`: compared without regard to case (ASCII);
// POSIX also ignores a trailing ".exe" on either side, so "Corvane.exe" is `corvane`.
bool SameModuleName(const std::string& listed, const std::string& wanted);

}  // namespace orvex::platform
