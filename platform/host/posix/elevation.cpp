#include "platform/elevation.h"

#include <unistd.h>

#include <cstdlib>

#include "command_line_words.h"
#include "platform/clock.h"
#include "platform/process.h"

namespace orvex::platform {

namespace {

constexpr int kStarted = 42;
constexpr int kDeclined = 5;  // ShellExecute's "access denied", as a refused prompt gives

// Full path of `name` found on PATH; empty when it is not there.
std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

// Runs the launcher with its own switches, the program and its arguments.
ProcessObject* Launch(const std::string& launcher, std::vector<std::string> args,
                      const std::string& program, const std::string& parameters) {
  args.push_back(program);
  for (auto& word : CutCommandTail(parameters)) args.push_back(word);
  return SpawnProcess(launcher, args);
}

int Finish(ProcessObject* process, bool wait) {
  if (process == nullptr) return kDeclined;
  int code = 0;
  const bool ended = wait && WaitProcess(process, kInfinite, &code);
  CloseProcess(process);
  // pkexec: 126 the prompt was dismissed or refused, 127 not authorised.
  return ended && (code == 126 || code == 127) ? kDeclined : kStarted;
}

}  // namespace

bool IsTokenElevated() {
  return geteuid() == 0;
}

int StartElevated(const std::string& program, const std::string& parameters) {
  const std::string pkexec = FindOnPath("pkexec");
  if (!pkexec.empty()) return Finish(Launch(pkexec, {}, program, parameters), true);
  const std::string sudo = FindOnPath("sudo");
  if (sudo.empty()) return kDeclined;
  // "sudo -n true" fails at once when a password would be needed: a declined prompt.
  ProcessObject* probe = SpawnProcess(sudo, {"-n", "true"});
  int code = 1;
  if (probe == nullptr || !WaitProcess(probe, kInfinite, &code) || code != 0) {
    CloseProcess(probe);
    return kDeclined;
  }
  CloseProcess(probe);
  return Finish(Launch(sudo, {"-n", "--"}, program, parameters), false);
}

}  // namespace orvex::platform
