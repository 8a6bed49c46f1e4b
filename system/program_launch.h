#pragma once
// Starting programs: by command line, through the command interpreter, through the
// shell. None of them waits for the started program.
#include <string>

namespace orvex::system {

// Longest command line LaunchProcess accepts (its buffer holds 260 bytes with the
// terminating zero).
inline constexpr size_t kMaxLaunchCommandLine = 259;

// Starts `command_line` (Windows quoting rules) in `current_directory` (empty: this
// process's); `application`, when not empty, is the program and the command line its
// arguments as the program sees them. True when the process was created (its handles
// are closed at once). On failure prints "\nCreateProcess failed (CreateProcess failed
// with error <code>: <system message>)" to standard output and answers false. A command
// line longer than kMaxLaunchCommandLine is refused with false before anything starts.
bool LaunchProcess(const std::string& application, const std::string& current_directory,
                   const std::string& command_line);

// Runs `script` (a command text) through the command interpreter: Windows %comspec%
// with "/c", POSIX /bin/sh with "-c". Answers as LaunchProcess.
bool RunCommandScript(const std::string& script, const std::string& current_directory);

// Starts `command` (quoted unless it already is) with `arguments` (blank, tab, CR and
// LF trimmed) through the shell (ShellExecuteA; POSIX: started directly, searched on
// PATH). False for an empty command or when the start failed.
bool StartCommand(const std::string& command, const std::string& arguments);

}  // namespace orvex::system
