#pragma once
// The installation configuration file: "Version=<v>\nInstallType=<t>\n" in the
// "Settings" folder of "Orvex Data Services" under the machine's program-data folder
// (POSIX: $ORVEX_PROGRAMDATA_DIR, else /var/lib), one file for all users
// ("arguments.txt") and one per user ("<user>_arguments.txt"). POSIX: the folders are
// root's (Settings sticky, so every user can add an own file), the files mode 0644 and
// their writer's. Windows: Everyone gets full access to the file.
// Each step appends one report line; the last line tells where a failure happened.
#include <string>

namespace orvex::system {

// The file for `scope` ("CU" exactly: this user's file; anything else: all users').
// Empty when the program-data folder cannot be obtained.
std::string InstallConfigPath(const std::string& scope);

// Creates the two folders when missing (refusing existing ones that others could
// change) and replaces the file whole with the content (platform::WriteGuardedFile). Appends the
// lines "RTD Config file <step>\n" to *report. 1 success; -1 a folder cannot be created (also when
// the program-data folder is unknown); -2 the file cannot be written.
int WriteInstallConfig(const std::string& scope, const std::string& version,
                       const std::string& install_type, std::string* report);

// Deletes the file of `scope`; a missing file (or a directory of that name) is
// reported as "File does not exist" and is not an error. Lines "RTD Un Config file
// <step>\n". 1 success; -1 the file cannot be deleted or the program-data folder is
// unknown (then after the "Get config file name" line).
int DeleteInstallConfig(const std::string& scope, std::string* report);

}  // namespace orvex::system
