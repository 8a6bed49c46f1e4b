#include "setup/argv_list.h"

#include <cctype>

namespace orvex {

namespace {

bool IsSpace(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

ArgvList::ArgvList(std::string program, const std::vector<std::string>& tokens) {
  elements_.reserve(tokens.size() + 1);
  elements_.push_back(std::move(program));
  elements_.insert(elements_.end(), tokens.begin(), tokens.end());
}

std::string ArgvList::Arg(int32_t index) const {
  if (index < 0 || index >= count()) return {};
  return elements_[static_cast<size_t>(index)];
}

std::vector<std::string> SplitCommandTail(std::string_view tail) {
  std::vector<std::string> tokens;
  size_t at = 0;
  while (true) {
    while (at < tail.size() && IsSpace(tail[at])) ++at;
    if (at == tail.size()) return tokens;
    if (tail[at] == '"') {
      const size_t close = tail.find('"', at + 1);
      if (close != std::string_view::npos) {
        tokens.emplace_back(tail.substr(at + 1, close - at - 1));
        at = close + 1;
        continue;
      }
    }
    const size_t start = at;
    while (at < tail.size() && !IsSpace(tail[at])) ++at;
    tokens.emplace_back(tail.substr(start, at - start));
  }
}

std::string CommandLineParameters(std::string_view line) {
  size_t at = 0;
  while (at < line.size() && IsSpace(line[at])) ++at;
  if (at < line.size() && line[at] == '"') {
    const size_t close = line.find('"', at + 1);
    at = close == std::string_view::npos ? line.size() : close + 1;
  } else {
    while (at < line.size() && !IsSpace(line[at])) ++at;
  }
  size_t end = line.size();
  while (at < end && IsSpace(line[at])) ++at;
  while (end > at && IsSpace(line[end - 1])) --end;
  return std::string(line.substr(at, end - at));
}

std::string ProgramStem(std::string_view path) {
  const size_t slash = path.find_last_of("\\/");
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return std::string(name);
}

}  // namespace orvex
