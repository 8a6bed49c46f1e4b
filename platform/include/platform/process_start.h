#pragma once
// Starting programs without waiting for them.
#include <cstdint>
#include <string>

namespace orvex::platform {

// Starts `command_line` in `current_directory` (empty: this process's) and lets the
// child run on its own (Windows: CreateProcessA, handles closed at once; POSIX:
// posix_spawn, reaped when it ends). With an empty `application` the command line's
// first token is the program (POSIX: searched on PATH); otherwise `application` is the
// program and, on POSIX, the command line's tokens are its arguments (a first token
// naming the application itself is its argv[0] and is dropped). On failure stores the
// system's error code in *error (Windows GetLastError, POSIX errno) and answers false.
bool StartDetachedProcess(const std::string& application, const std::string& command_line,
                          const std::string& current_directory, uint32_t* error);

// The system's text for an error code from StartDetachedProcess (FormatMessageA from
// the system table in the default language, its line end kept; POSIX strerror).
std::string SystemErrorMessage(uint32_t code);

// The command interpreter: Windows %comspec% expanded (260 bytes); POSIX "/bin/sh".
std::string CommandInterpreter();

// Its command line for running `script` (one command text) and ending: Windows
// "/s /c \"" + script + "\""; POSIX "-c " + the script quoted so that it arrives as one argument.
std::string CommandInterpreterArguments(const std::string& script);

// Starts `file` with `parameters` (empty: none) as the shell would, shown normally:
// Windows ShellExecuteA (true when it answered above 32); POSIX the program started
// directly (searched on PATH, parameters split by the Windows quoting rules).
bool ShellStart(const std::string& file, const std::string& parameters);

// Whether this process has a console window (GetConsoleWindow; POSIX: a controlling
// terminal).
bool HasConsoleWindow();

}  // namespace orvex::platform
