// Starting programs on POSIX: posix_spawn, with a thread that reaps each child.
#include "platform/process_start.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/command_launch.h"

extern char** environ;

namespace orvex::platform {

namespace {

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Spawns argv[0] (searched on PATH when `search` and it has no slash) in `directory`;
// the child is reaped by a detached thread, as nothing ever waits for it.
int Spawn(const std::vector<std::string>& args, const std::string& directory, bool search) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!directory.empty()) {
    // A missing directory must fail the start, as CreateProcessA does, not the child.
    if (access(directory.c_str(), X_OK) != 0) {
      const int error = errno;
      posix_spawn_file_actions_destroy(&actions);
      return error;
    }
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  }
  pid_t pid = 0;
  const int rc = search ? posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ)
                        : posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return rc;
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return 0;
}

}  // namespace

bool StartDetachedProcess(const std::string& application, const std::string& command_line,
                          const std::string& current_directory, uint32_t* error) {
  std::vector<std::string> args = SplitCommandLine(command_line);
  if (!application.empty()) {
    if (!args.empty() && (args[0] == application || args[0] == BaseName(application))) {
      args.erase(args.begin());
    }
    args.insert(args.begin(), application);
  }
  if (args.empty() || args[0].empty()) {
    *error = ENOENT;
    return false;
  }
  const int rc = Spawn(args, current_directory, application.empty());
  *error = static_cast<uint32_t>(rc);
  return rc == 0;
}

std::string SystemErrorMessage(uint32_t code) {
  return std::strerror(static_cast<int>(code));
}

std::string CommandInterpreter() {
  return "/bin/sh";
}

std::string CommandInterpreterArguments(const std::string& script) {
  // Quoted by the rules SplitCommandLine undoes: backslashes before a quote doubled.
  std::string quoted = "-c \"";
  size_t slashes = 0;
  for (char c : script) {
    if (c == '\\') {
      ++slashes;
    } else {
      if (c == '"') quoted.append(slashes + 1, '\\');
      slashes = 0;
    }
    quoted += c;
  }
  quoted.append(slashes, '\\');
  return quoted + '"';
}

bool ShellStart(const std::string& file, const std::string& parameters) {
  std::vector<std::string> args{file};
  if (!parameters.empty()) {
    // The parameters parse as the rest of a command line after its program.
    std::vector<std::string> rest = SplitCommandLine("x " + parameters);
    args.insert(args.end(), rest.begin() + 1, rest.end());
  }
  return !file.empty() && Spawn(args, "", true) == 0;
}

bool HasConsoleWindow() {
  const int fd = open("/dev/tty", O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  close(fd);
  return true;
}

}  // namespace orvex::platform
