#include "platform/command_line.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "command_line_words.h"

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
    std::string arg = raw.substr(start, end - start);
    if (start == 0) {
      // Readers skip the program by its quotes and take it from the module path: a
      // quote of its own cannot be written here, and would shift every parameter.
      std::erase(arg, '"');
      line += "\"" + arg + "\"";
    } else {
      line += ' ';
      line += NeedsQuotes(arg) ? "\"" + arg + "\"" : arg;
    }
    start = end + 1;
  }
  return line;
}

bool HasStandardOutput() {
  return fcntl(STDOUT_FILENO, F_GETFD) != -1;
}

void UseBinaryStandardOutput() {}

bool HasConsoleWindow() {
  const int fd = open("/dev/tty", O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  close(fd);
  return true;
}

}  // namespace orvex::platform
