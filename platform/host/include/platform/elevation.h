#pragma once
// Administrator rights of the running process and starting a program with them.
#include <cstdint>
#include <string>
#include <vector>

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
// With `exit_code`, waits for the elevated program in every case (Windows:
// ShellExecuteExA keeping the process handle) and stores its exit code (POSIX: the
// 8-bit status, so -1 reads 255).
int StartElevated(const std::string& program, const std::string& parameters,
                  int* exit_code = nullptr);

// The user an elevated run was started for, whose per-user work it must not do as
// root. POSIX: the uid pkexec (PKEXEC_UID, else sudo's SUDO_UID) left in the
// environment, taken only while this process runs as root and only when it names an
// account other than root. Windows: the elevated copy already is that user: false.
bool InvokingUser(uint32_t* uid);

// Runs `program` with `args` as the user `uid` (the account's groups, home folder as
// HOME and current directory, USER and LOGNAME; the variables that point into the
// elevated run's own places are dropped; its standard output discarded) and waits. Its exit code,
// or -1 when it could not be started. Windows: -1.
int RunAsUser(uint32_t uid, const std::string& program, const std::vector<std::string>& args);

}  // namespace orvex::platform
