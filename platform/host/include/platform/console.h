#pragma once

namespace orvex::platform {

// True when the process's standard output is an interactive terminal (a console window
// on Windows), false when it goes to a file or a pipe. Command-line tools use it to
// choose between a redrawn screen and plain lines.
bool StdoutIsTerminal();

// Asks the terminal behind standard output to interpret ANSI escape sequences (cursor
// moves, clearing). True when they will be interpreted; POSIX terminals always do.
bool EnableTerminalEscapes();

}  // namespace orvex::platform
