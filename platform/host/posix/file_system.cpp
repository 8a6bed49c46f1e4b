// Files and folders on POSIX.
#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "write_all.h"

namespace orvex::platform {

namespace {

constexpr size_t kMaxPath = 259;

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Resolves "." and ".." lexically, as PathCanonicalizeA does; ".." never climbs above
// the root or the start of a relative path.
std::string Canonical(const std::string& path) {
  const bool absolute = path.starts_with('/');
  const bool trailing = path.size() > 1 && path.ends_with('/');
  std::vector<std::string> parts;
  size_t at = 0;
  while (at <= path.size()) {
    size_t next = path.find('/', at);
    if (next == std::string::npos) next = path.size();
    const std::string part = path.substr(at, next - at);
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..") {
        parts.pop_back();
      } else if (!absolute) {
        parts.push_back(part);
      }
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = next + 1;
  }
  std::string result = absolute ? "/" : "";
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) result += '/';
    result += parts[i];
  }
  if (trailing && !parts.empty()) result += '/';
  return result;
}

}  // namespace

char PathSeparator() {
  return '/';
}

std::string CombinePath(const std::string& folder, const std::string& name) {
  if (folder.empty() && name.empty()) return {};
  std::string joined;
  if (name.starts_with('/') || folder.empty()) {
    joined = name;
  } else if (name.empty()) {
    joined = folder;
  } else {
    joined = folder.ends_with('/') ? folder + name : folder + '/' + name;
  }
  std::string result = Canonical(joined);
  if (result.size() > kMaxPath) return {};
  return result;
}

bool CreateOneFolder(const std::string& path) {
  return !path.empty() && mkdir(path.c_str(), 0777) == 0;
}

bool DeleteFileEntry(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
  return unlink(path.c_str()) == 0;
}

bool WriteFileExclusive(const std::string& path, const std::string& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const ssize_t n = write(fd, bytes.data(), bytes.size());
  close(fd);
  // One write, as the Windows side makes one WriteFile call.
  return n >= 0 && static_cast<size_t>(n) == bytes.size();
}

bool CopyFileReplacing(const std::string& from, const std::string& to) {
  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat info;
  bool ok = fstat(in, &info) == 0 && S_ISREG(info.st_mode) && !IsDirectory(to);
  // A new inode, so a running program of that name keeps its old image (Windows
  // refuses to replace a running executable; here the copy simply succeeds).
  if (ok) unlink(to.c_str());
  const int out =
      ok ? open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777) : -1;
  ok = out >= 0;
  char buffer[65536];
  while (ok) {
    const ssize_t n = read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    ok = posix::WriteAll(out, buffer, static_cast<size_t>(n));
  }
  if (out >= 0) ok = close(out) == 0 && ok;
  close(in);
  return ok;
}

bool ListSubfolderNames(const std::string& folder, std::vector<std::string>* names) {
  names->clear();
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return false;
  const std::string prefix = folder.empty() || folder.ends_with('/') ? folder : folder + '/';
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (IsDirectory(prefix + name)) names->push_back(name);
  }
  closedir(dir);
  return true;
}

bool TempFolderPath(std::string* path) {
  const char* tmp = std::getenv("TMPDIR");
  std::string result = tmp && *tmp ? tmp : "/tmp";
  if (!result.ends_with('/')) result += '/';
  if (result.size() > kMaxPath) {
    path->clear();
    return false;
  }
  *path = std::move(result);
  return true;
}

std::string FallbackTempFolder() {
  return "/tmp";
}

std::vector<std::string> ProgramFileCandidates(const std::string& name) {
  std::vector<std::string> names{name};
  if (name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".exe") == 0) {
    std::string stem = name.substr(0, name.size() - 4);
    for (char& c : stem) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (stem != name) names.push_back(std::move(stem));
  }
  return names;
}

}  // namespace orvex::platform
