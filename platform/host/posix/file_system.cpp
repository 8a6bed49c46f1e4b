// Files and folders on POSIX.
#include "platform/file_system.h"
#include "platform/test_seams.h"

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

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return {};
  if (path.starts_with('/')) return CombinePath("/", path);
  char buffer[4096];
  if (getcwd(buffer, sizeof buffer) == nullptr) return {};
  return CombinePath(buffer, path == "." ? "./" : path);
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

bool CreateUniqueFile(const std::string& prefix, const std::string& suffix,
                      const std::function<std::string(const std::string&)>& bytes_for,
                      std::string* path) {
  std::string name = prefix + "XXXXXX" + suffix;
  // mkstemps: O_EXCL, mode 0600, six random characters.
  const int fd = mkstemps(name.data(), static_cast<int>(suffix.size()));
  if (fd < 0) return false;
  const std::string bytes = bytes_for(name);
  const bool ok = posix::WriteAll(fd, bytes.data(), bytes.size());
  if (close(fd) != 0 || !ok) {
    unlink(name.c_str());
    return false;
  }
  *path = std::move(name);
  return true;
}

bool EnsureGuardedFolder(const std::string& folder, bool shared) {
  // With a trailing separator lstat and O_NOFOLLOW would follow a link.
  std::string path = folder;
  while (path.size() > 1 && path.ends_with('/')) path.pop_back();
  const mode_t mode = shared ? 01777 : 0755;
  const bool created = mkdir(path.c_str(), 0700) == 0;
  if (!created && errno != EEXIST) return false;
  struct stat info;
  if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  const bool ours = info.st_uid == geteuid();
  if (!ours && info.st_uid != 0) return false;
  const bool others_write = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  const bool sticky = (info.st_mode & S_ISVTX) != 0;
  if (!ours) return !others_write || (shared && sticky);
  // Rights are set on the open folder, never by a path someone could swap meanwhile.
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = (info.st_mode & 07777) == mode || fchmod(fd, mode) == 0;
  close(fd);
  return ok;
}

bool WriteGuardedFile(const std::string& path, const std::string& bytes) {
  struct stat info;
  if (lstat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return false;
    if (info.st_uid != geteuid() && geteuid() != 0) return false;
    if (unlink(path.c_str()) != 0) return false;
  }
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = fchmod(fd, 0644) == 0 && posix::WriteAll(fd, bytes.data(), bytes.size());
  ok = close(fd) == 0 && ok;
  if (!ok) unlink(path.c_str());
  return ok;
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
  const char* tmp = FollowedVariable("TMPDIR");
  // A relative folder would be written in one directory and read from another.
  std::string result = tmp && tmp[0] == '/' ? tmp : "/tmp";
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
