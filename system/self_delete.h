#pragma once
// Deleting the running executable after it has ended: a script in the temporary
// folder pauses about four seconds, deletes the executable and then itself.
#include <string>

namespace orvex::system {

// Where the script for `executable_path` goes: the temporary folder joined with the
// executable's stem + "_delete.cmd" (POSIX: "_delete.sh").
std::string SelfDeleteScriptPath(const std::string& executable_path);

// The script's exact text. Windows: "@echo off", the echo line only without a console,
// "ping -n 5 127.0.0.1 > nul", "del \"<exe>\"", "start /b \"\" cmd /c del \"%~f0\"",
// joined by "\r\n" with none after the last. POSIX: the same steps as sh lines.
std::string SelfDeleteScriptText(const std::string& executable_path, const std::string& script_path,
                                 bool has_console);

// Writes the script and starts it; on success ends this process at once with exit
// code 0 (std::exit, static objects are destroyed) and does not return. False when the
// script could not be written (nothing started) or started.
bool SelfDelete();

}  // namespace orvex::system
