#pragma once
// Starting a program from one command-line text (WinExec).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::platform {

// Splits a Windows-style command line into program and arguments by the shell's rules
// (CommandLineToArgvW): the first token ends at the next white space, or at its closing
// quote when it begins with one; in the others, white space inside double quotes is
// kept, 2n backslashes before a quote give n backslashes and a quoting quote, 2n+1
// give n backslashes and a literal quote, other backslashes are literal. An empty or
// blank line gives no tokens.
std::vector<std::string> SplitCommandLine(std::string_view command_line);

// Starts the program the command line names with `show_command` (SW_*) and returns at
// once: unlike WinExec it does not wait for the program's first idle moment. Answers 32
// or more when the program was started and a smaller number when not (2: not found),
// as WinExec does. POSIX: the line is split as above, the
// program is searched on PATH, and the child is reaped when it ends.
uint32_t LaunchCommandLine(const std::string& command_line, int show_command);

}  // namespace orvex::platform
