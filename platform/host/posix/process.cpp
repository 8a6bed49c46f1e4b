#include "platform/process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "platform/clock.h"
#include "process_object.h"

extern char** environ;

namespace orvex::platform {

ProcessObject* SpawnProcess(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
    return nullptr;
  }
  auto* process = new ProcessObject;
  process->pid = pid;
  return process;
}

bool WaitProcess(ProcessObject* process, uint32_t timeout_ms, int* exit_code) {
  if (process == nullptr) return false;
  const uint32_t start = TickCount();
  while (!process->reaped) {
    int status = 0;
    const pid_t rc = waitpid(process->pid, &status, WNOHANG);
    if (rc == process->pid) {
      process->reaped = true;
      process->exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (rc < 0) return false;
    if (timeout_ms != kInfinite && TickCount() - start >= timeout_ms) return false;
    SleepMs(2);
  }
  if (exit_code != nullptr) *exit_code = process->exit_code;
  return true;
}

bool KillProcess(ProcessObject* process) {
  if (process == nullptr || process->reaped) return false;
  return kill(process->pid, SIGKILL) == 0 && WaitProcess(process, 5000, nullptr);
}

void CloseProcess(ProcessObject* process) {
  // A child left running is not waited for; it is reaped by init after we exit.
  delete process;
}

uint32_t ProcessId(const ProcessObject* process) {
  return process == nullptr ? 0 : static_cast<uint32_t>(process->pid);
}

std::string CurrentExecutablePath() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

void SetEnvVar(const std::string& name, const char* value) {
  if (value == nullptr) {
    unsetenv(name.c_str());
  } else {
    setenv(name.c_str(), value, 1);
  }
}

}  // namespace orvex::platform
