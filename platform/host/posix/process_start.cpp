// Starting programs on POSIX: posix_spawn, with a thread that reaps each child.
#include "platform/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "command_line_words.h"
#include "process_object.h"

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

ProcessObject* SpawnWithCommandTail(const std::string& program, const std::string& tail,
                                    const std::string& output_path, const std::string& error_path) {
  std::vector<std::string> words = CutCommandTail(tail);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  constexpr int kFlags = O_WRONLY | O_CREAT | O_TRUNC;
  if (!output_path.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output_path.c_str(), kFlags, 0644);
  }
  if (!error_path.empty() && error_path == output_path) {
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  } else if (!error_path.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, error_path.c_str(), kFlags, 0644);
  }
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return nullptr;
  auto* process = new ProcessObject;
  process->pid = pid;
  return process;
}

}  // namespace orvex::platform
