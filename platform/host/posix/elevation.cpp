#include "platform/elevation.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

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

int Finish(ProcessObject* process, bool wait, int* exit_code) {
  if (process == nullptr) return kDeclined;
  int code = 0;
  const bool ended = wait && WaitProcess(process, kInfinite, &code);
  CloseProcess(process);
  if (exit_code != nullptr) *exit_code = code;
  // pkexec: 126 the prompt was dismissed or refused, 127 not authorised.
  return ended && (code == 126 || code == 127) ? kDeclined : kStarted;
}

}  // namespace

bool IsTokenElevated() {
  return geteuid() == 0;
}

int StartElevated(const std::string& program, const std::string& parameters, int* exit_code) {
  const std::string pkexec = FindOnPath("pkexec");
  if (!pkexec.empty()) return Finish(Launch(pkexec, {}, program, parameters), true, exit_code);
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
  return Finish(Launch(sudo, {"-n", "--"}, program, parameters), exit_code != nullptr, exit_code);
}

bool InvokingUser(uint32_t* uid) {
  if (geteuid() != 0) return false;
  for (const char* name : {"PKEXEC_UID", "SUDO_UID"}) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') continue;
    char* end = nullptr;
    const unsigned long number = std::strtoul(value, &end, 10);
    if (*end != '\0' || number == 0 || number > 0x7fffffffUL) return false;
    if (getpwuid(static_cast<uid_t>(number)) == nullptr) return false;
    *uid = static_cast<uint32_t>(number);
    return true;
  }
  return false;
}

int RunAsUser(uint32_t uid, const std::string& program, const std::vector<std::string>& args) {
  // Everything the child needs is looked up before the fork.
  const passwd* entry = getpwuid(uid);
  if (entry == nullptr) return -1;
  const std::string name = entry->pw_name;
  const std::string home = entry->pw_dir;
  const gid_t gid = entry->pw_gid;
  int count = 64;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  if (getgrouplist(name.c_str(), gid, groups.data(), &count) < 0) {
    groups.resize(static_cast<size_t>(count));
    if (getgrouplist(name.c_str(), gid, groups.data(), &count) < 0) return -1;
  }
  groups.resize(static_cast<size_t>(count));
  const std::string runtime = "/run/user/" + std::to_string(uid);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (setgroups(groups.size(), groups.data()) != 0 || setresgid(gid, gid, gid) != 0 ||
        setresuid(uid, uid, uid) != 0) {
      _exit(126);
    }
    setenv("HOME", home.c_str(), 1);
    setenv("USER", name.c_str(), 1);
    setenv("LOGNAME", name.c_str(), 1);
    for (const char* variable :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "ORVEX_REGISTRY_DIR",
          "ORVEX_REGISTRY_MACHINE_WRITABLE", "ORVEX_TEST_ELEVATION", "ORVEX_DEBUG_OUTPUT",
          "PKEXEC_UID", "SUDO_UID", "SUDO_GID", "SUDO_USER"}) {
      unsetenv(variable);
    }
    if (access(runtime.c_str(), W_OK) == 0) setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    if (chdir(home.c_str()) != 0 && chdir("/") != 0) _exit(126);
    // Its report is the caller's to give: only the exit code comes back.
    const int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null_fd < 0 || dup2(null_fd, STDOUT_FILENO) < 0) _exit(126);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace orvex::platform
