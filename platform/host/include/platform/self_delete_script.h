#pragma once
// The script that deletes an executable after it has ended: about four seconds of
// pause, the executable deleted, then the script itself.
#include <string>

namespace orvex::platform {

// How a script file's name ends: ".cmd" (POSIX ".sh").
std::string SelfDeleteScriptSuffix();

// The script's exact text. Windows: "@echo off", "echo Self-Deleting non-console
// executable..." only without a console, "ping -n 5 127.0.0.1 > nul", "del \"<exe>\""
// (each '%' doubled, as cmd expands them even in quotes),
// "start /b \"\" cmd /c del \"%~f0\"", joined by "\r\n" without a final one. POSIX: the
// same steps in sh ("sleep 4", "rm -f"), single-quoted paths, joined by "\n".
std::string SelfDeleteScriptText(const std::string& executable_path, const std::string& script_path,
                                 bool has_console);

// The command text that runs the script through the command interpreter: the quoted
// path (POSIX: read by the shell with ".", so no execute bit is needed).
std::string SelfDeleteScriptCommand(const std::string& script_path);

}  // namespace orvex::platform
