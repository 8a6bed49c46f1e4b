#pragma once
// Administrator rights of the running process and starting a program with them.
#include <string>

namespace orvex::platform {

// Windows: the token of this process reports elevation (TokenElevation). POSIX: the
// effective user id is 0. Any failure answers false.
bool IsTokenElevated();

// Starts `program` with administrator rights and the command-line tail `parameters`.
// Answers a value above 32 when the elevated program was started, 32 or less when not
// (prompt declined, no way to elevate). Windows: ShellExecuteA with the verb "runas"
// and SW_SHOWNORMAL; returns once the user answered the prompt. POSIX: through pkexec
// when it is on PATH (waiting for it: only its exit status tells a declined prompt),
// else through "sudo -n" when that works without a password (not waited for); the
// tail is cut into arguments as SpawnWithCommandTail does.
int StartElevated(const std::string& program, const std::string& parameters);

}  // namespace orvex::platform
