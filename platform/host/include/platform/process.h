#pragma once
// Starting programs: children this process waits for or ends, programs that run on
// their own, and command lines handed over as one text.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::platform {

// A child process started by this one.
struct ProcessObject;

// Starts `program` with `args` (not including the program itself). nullptr on failure.
ProcessObject* SpawnProcess(const std::string& program, const std::vector<std::string>& args);

// Waits up to `timeout_ms` for the process to end; stores its exit code when it has.
bool WaitProcess(ProcessObject* process, uint32_t timeout_ms, int* exit_code);

// Ends the process at once, without its cooperation (TerminateProcess, SIGKILL).
bool KillProcess(ProcessObject* process);

// Releases the handle (the process keeps running if it still does).
void CloseProcess(ProcessObject* process);

uint32_t ProcessId(const ProcessObject* process);

// Full path of the running executable.
std::string CurrentExecutablePath();

// Sets (or with a null value removes) an environment variable of this process.
void SetEnvVar(const std::string& name, const char* value);

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

// Starts `program` with the command-line tail `tail`, without waiting. Windows: the
// line is the quoted program, a blank and `tail` exactly. POSIX: `tail` is cut into
// arguments at white space outside double quotes, the quotes kept, which
// ProcessCommandLine joins back to the same text. Standard output and standard error
// go to the files named (created or emptied, one file when the names are equal) or,
// for an empty name, to this process's own. Null on failure.
ProcessObject* SpawnWithCommandTail(const std::string& program, const std::string& tail,
                                    const std::string& output_path = {},
                                    const std::string& error_path = {});

}  // namespace orvex::platform
