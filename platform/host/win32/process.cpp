#include "platform/process.h"

#include <windows.h>

#include <cstdlib>

#include "platform/clock.h"
#include "process_object.h"

namespace orvex::platform {

namespace {

// Quotes one argument so the child's command-line parser gives it back unchanged.
std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (const char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') backslashes = backslashes * 2 + 1;
    out.append(backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

}  // namespace

ProcessObject* SpawnProcess(const std::string& program, const std::vector<std::string>& args) {
  std::string command = QuoteArgument(program);
  for (const auto& a : args) {
    command += ' ';
    command += QuoteArgument(a);
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  auto* process = new ProcessObject{};
  if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process->info)) {
    delete process;
    return nullptr;
  }
  CloseHandle(process->info.hThread);
  return process;
}

bool WaitProcess(ProcessObject* process, uint32_t timeout_ms, int* exit_code) {
  if (process == nullptr) return false;
  if (WaitForSingleObject(process->info.hProcess,
                          timeout_ms == kInfinite ? INFINITE : timeout_ms) != WAIT_OBJECT_0) {
    return false;
  }
  DWORD code = 0;
  GetExitCodeProcess(process->info.hProcess, &code);
  if (exit_code != nullptr) *exit_code = static_cast<int>(code);
  return true;
}

bool KillProcess(ProcessObject* process) {
  if (process == nullptr) return false;
  return TerminateProcess(process->info.hProcess, 137) != FALSE &&
         WaitProcess(process, 5000, nullptr);
}

void CloseProcess(ProcessObject* process) {
  if (process == nullptr) return;
  CloseHandle(process->info.hProcess);
  delete process;
}

uint32_t ProcessId(const ProcessObject* process) {
  return process == nullptr ? 0 : process->info.dwProcessId;
}

std::string CurrentExecutablePath() {
  char buffer[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return std::string(buffer, n);
}

void SetEnvVar(const std::string& name, const char* value) {
  SetEnvironmentVariableA(name.c_str(), value);
  // Keep the C runtime's copy in step for getenv().
  _putenv_s(name.c_str(), value == nullptr ? "" : value);
}

}  // namespace orvex::platform
