#pragma once
// Deleting the running executable after it has ended: a script in the temporary
// folder pauses about four seconds, deletes the executable and then itself.
#include <string>

namespace orvex::system {

// How the script for `executable_path` is named: the temporary folder joined with the
// executable's stem + "_delete_", then an unpredictable part and ".cmd" (POSIX ".sh"),
// so nothing planted under a known name can stop or replace it.
std::string SelfDeleteScriptPrefix(const std::string& executable_path);

// The script's exact text. Windows: "@echo off", the echo line only without a console,
// "ping -n 5 127.0.0.1 > nul", "del \"<exe>\"", "start /b \"\" cmd /c del \"%~f0\"",
// joined by "\r\n" with none after the last. POSIX: the same steps as sh lines.
std::string SelfDeleteScriptText(const std::string& executable_path, const std::string& script_path,
                                 bool has_console);

// Writes the script and starts it; on success ends this process at once with
// `exit_code` (std::exit, static objects are destroyed) and does not return. False when the
// script could not be written (nothing started) or started.
bool SelfDelete(int exit_code = 0);

}  // namespace orvex::system
