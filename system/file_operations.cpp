// Path and file helpers over the platform's file system.
#include "system/file_operations.h"

#include "platform/file_attributes.h"
#include "platform/file_system.h"
#include "platform/known_folder.h"
#include "platform/process.h"

namespace orvex::system {

std::string GetModulePath() {
  return platform::CurrentExecutablePath();
}

std::string GetModuleFolder() {
  const std::string path = GetModulePath();
  const size_t separator = path.rfind(platform::PathSeparator());
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

std::string GetTempFolder() {
  std::string folder;
  return platform::TempFolderPath(&folder) ? folder : platform::FallbackTempFolder();
}

std::string GetLocalAppDataFolder(const std::string& name) {
  std::string folder;
  if (!platform::GetKnownFolder(platform::KnownFolder::kLocalAppData, true, &folder)) return {};
  return JoinPath(folder, name);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  return platform::CombinePath(folder, name);
}

bool WriteNewFile(const std::string& path, const std::string& bytes) {
  // A leftover file goes first; the exclusive create then fails only on what could
  // not be removed (a directory, a file in use).
  if (platform::GetPathKind(path) == platform::PathKind::kFile) platform::DeleteFileEntry(path);
  return platform::WriteFileExclusive(path, bytes);
}

bool CopyFileOver(const std::string& from, const std::string& to) {
  return platform::CopyFileReplacing(from, to);
}

bool DeleteFileAt(const std::string& path) {
  return platform::DeleteFileEntry(path);
}

bool CreateFolder(const std::string& path) {
  return platform::GetPathKind(path) == platform::PathKind::kDirectory ||
         platform::CreateOneFolder(path);
}

std::vector<std::string> ListSubfolders(const std::string& folder) {
  std::vector<std::string> names;
  platform::ListSubfolderNames(folder, &names);
  return names;
}

std::string FindFileInTree(const std::string& file_name, const std::string& folder) {
  for (const std::string& candidate : platform::ProgramFileCandidates(file_name)) {
    const std::string path = JoinPath(folder, candidate);
    if (!path.empty() && platform::GetPathKind(path) == platform::PathKind::kFile) return path;
  }
  // Paths are capped at 259 characters, so even a folder that contains itself (a link)
  // ends the descent.
  for (const std::string& sub : ListSubfolders(folder)) {
    const std::string sub_path = JoinPath(folder, sub);
    if (sub_path.empty()) continue;
    std::string found = FindFileInTree(file_name, sub_path);
    if (!found.empty()) return found;
  }
  return {};
}

}  // namespace orvex::system
