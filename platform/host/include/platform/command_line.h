#pragma once
// This process's own command line and standard streams.
#include <string>

namespace orvex::platform {

// The command line of this process, program first. Windows: GetCommandLineA, as the
// caller wrote it. POSIX, which keeps no such text: the program in double quotes (a
// quote of its own dropped: readers skip it and take the program from the module
// path), then each argument after a blank, enclosed in double quotes when it is empty
// or holds white space but no double quote, otherwise copied as it is; so
// `prog "a b"` reads "\"prog\" \"a b\"" and an argument that brings its own quotes
// is passed on untouched.
std::string ProcessCommandLine();

// True when this process has a standard output to write to (a console, file or pipe);
// a Windows GUI program started without one has none.
bool HasStandardOutput();

// Makes the C library write standard output byte for byte: Windows text mode would
// turn every line feed into CR LF. Nothing to do on POSIX.
void UseBinaryStandardOutput();

// Whether this process has a console window (GetConsoleWindow; POSIX: a controlling
// terminal).
bool HasConsoleWindow();

}  // namespace orvex::platform
