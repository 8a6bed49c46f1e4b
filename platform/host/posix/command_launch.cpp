#include "platform/process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

extern char** environ;

namespace orvex::platform {

namespace {
constexpr uint32_t kStarted = 33;
constexpr uint32_t kFileNotFound = 2;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> tokens;
  size_t at = 0;
  while (at < line.size() && IsBlank(line[at])) ++at;
  if (at == line.size()) return tokens;
  // The program: quotes only delimit it, backslashes are path separators.
  std::string program;
  if (line[at] == '"') {
    const size_t close = line.find('"', at + 1);
    const size_t end = close == std::string_view::npos ? line.size() : close;
    program.assign(line.substr(at + 1, end - at - 1));
    at = close == std::string_view::npos ? line.size() : close + 1;
  } else {
    while (at < line.size() && !IsBlank(line[at])) program += line[at++];
  }
  tokens.push_back(program);
  while (true) {
    while (at < line.size() && IsBlank(line[at])) ++at;
    if (at == line.size()) break;
    std::string token;
    bool quoted = false;
    while (at < line.size() && (quoted || !IsBlank(line[at]))) {
      size_t slashes = 0;
      while (at < line.size() && line[at] == '\\') ++slashes, ++at;
      if (at < line.size() && line[at] == '"') {
        token.append(slashes / 2, '\\');
        if (slashes % 2 == 1) {
          token += '"';
        } else if (quoted && at + 1 < line.size() && line[at + 1] == '"') {
          // A doubled quote inside quotes stands for one quote.
          token += '"';
          ++at;
        } else {
          quoted = !quoted;
        }
        ++at;
      } else {
        token.append(slashes, '\\');
        if (slashes == 0 && at < line.size()) token += line[at++];
      }
    }
    tokens.push_back(token);
  }
  return tokens;
}

uint32_t LaunchCommandLine(const std::string& command_line, int) {
  const std::vector<std::string> tokens = SplitCommandLine(command_line);
  if (tokens.empty() || tokens[0].empty()) return kFileNotFound;
  std::vector<char*> argv;
  for (const auto& t : tokens) argv.push_back(const_cast<char*>(t.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
    return kFileNotFound;
  }
  // WinExec leaves no handle to wait on; a thread reaps the child so no zombie stays.
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return kStarted;
}

}  // namespace orvex::platform
