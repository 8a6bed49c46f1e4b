#pragma once
#include <cstdint>
#include <string>
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

}  // namespace orvex::platform
