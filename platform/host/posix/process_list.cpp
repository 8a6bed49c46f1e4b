// The process list on POSIX: /proc.
#include "platform/process_list.h"

#include <dirent.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace orvex::platform {

namespace {

// The executable's base name; empty when the process is not ours to inspect (exe is
// readable only by its owner) or has ended meanwhile.
std::string ExecutableBaseName(const char* pid) {
  const std::string link = std::string("/proc/") + pid + "/exe";
  char target[PATH_MAX];
  const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
  if (n <= 0) return {};
  std::string path(target, static_cast<size_t>(n));
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.ends_with(kDeleted)) path.resize(path.size() - kDeleted.size());
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string_view WithoutExe(std::string_view name) {
  if (name.size() > 4 && strncasecmp(name.data() + name.size() - 4, ".exe", 4) == 0) {
    name.remove_suffix(4);
  }
  return name;
}

}  // namespace

bool ListProcessModules(std::vector<std::string>* names) {
  names->clear();
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return false;
  while (const dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != '\0') continue;
    std::string name = ExecutableBaseName(entry->d_name);
    if (!name.empty()) names->push_back(std::move(name));
  }
  closedir(proc);
  return true;
}

bool SameModuleName(const std::string& listed, const std::string& wanted) {
  const std::string_view a = WithoutExe(listed);
  const std::string_view b = WithoutExe(wanted);
  return !a.empty() && a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace orvex::platform
