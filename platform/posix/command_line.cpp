#include "platform/command_line.h"

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "command_line_words.h"
#include "process_object.h"

extern char** environ;

namespace orvex::platform {

namespace {

bool IsWhite(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// An argument the reader would not get back whole without quotes.
bool NeedsQuotes(const std::string& arg) {
  if (arg.empty()) return true;
  if (arg.find('"') != std::string::npos) return false;
  for (const char c : arg) {
    if (IsWhite(c)) return true;
  }
  return false;
}

}  // namespace

std::vector<std::string> CutCommandTail(const std::string& tail) {
  std::vector<std::string> words;
  size_t at = 0;
  while (true) {
    while (at < tail.size() && IsWhite(tail[at])) ++at;
    if (at == tail.size()) return words;
    std::string word;
    bool quoted = false;
    while (at < tail.size() && (quoted || !IsWhite(tail[at]))) {
      if (tail[at] == '"') quoted = !quoted;
      word += tail[at++];
    }
    words.push_back(word);
  }
}

std::string ProcessCommandLine() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string line;
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = raw.find('\0', start);
    if (end == std::string::npos) end = raw.size();
    const std::string arg = raw.substr(start, end - start);
    if (start > 0) line += ' ';
    line += NeedsQuotes(arg) ? "\"" + arg + "\"" : arg;
    start = end + 1;
  }
  return line;
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

bool HasStandardOutput() {
  return fcntl(STDOUT_FILENO, F_GETFD) != -1;
}

void UseBinaryStandardOutput() {}

}  // namespace orvex::platform
