#pragma once
// The running program's own command line, and starting a program with a command line
// written out as one text (the way an installer or a shell hands it over).
#include <string>

#include "platform/process.h"

namespace orvex::platform {

// The command line of this process, program first. Windows: GetCommandLineA, as the
// caller wrote it. POSIX, which keeps no such text: the arguments joined by blanks,
// each enclosed in double quotes when it is empty or holds white space but no double
// quote, otherwise copied as it is; so `prog "a b"` reads "prog \"a b\"" and an
// argument that brings its own quotes is passed on untouched.
std::string ProcessCommandLine();

// Starts `program` with the command-line tail `tail`, without waiting. Windows: the
// line is the quoted program, a blank and `tail` exactly. POSIX: `tail` is cut into
// arguments at white space outside double quotes, the quotes kept, which
// ProcessCommandLine joins back to the same text. Standard output and standard error
// go to the files named (created or emptied, one file when the names are equal) or,
// for an empty name, to this process's own. Null on failure.
ProcessObject* SpawnWithCommandTail(const std::string& program, const std::string& tail,
                                    const std::string& output_path = {},
                                    const std::string& error_path = {});

// True when this process has a standard output to write to (a console, file or pipe);
// a Windows GUI program started without one has none.
bool HasStandardOutput();

// Makes the C library write standard output byte for byte: Windows text mode would
// turn every line feed into CR LF. Nothing to do on POSIX.
void UseBinaryStandardOutput();

}  // namespace orvex::platform
