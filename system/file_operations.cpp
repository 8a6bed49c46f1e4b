// Path and file helpers over the platform's file system.
#include "system/file_operations.h"

#include <algorithm>
#include <utility>

#include "platform/elevation.h"
#include "platform/file_attributes.h"
#include "platform/file_system.h"
#include "platform/known_folder.h"
#include "platform/process.h"
#include "platform/write_guard.h"

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

std::string AbsolutePathOf(const std::string& path) {
  return platform::AbsolutePath(path);
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

namespace {

bool g_guard = false;
std::vector<std::string> g_refused;

bool Guarded() {
  return g_guard || platform::IsTokenElevated();
}

void Refuse(const std::string& path) {
  if (std::find(g_refused.begin(), g_refused.end(), path) == g_refused.end()) {
    g_refused.push_back(path);
  }
}

// `unsafe`: a folder on the way down from the search's root can be written by others.
std::string SearchTree(const std::string& file_name, const std::string& folder,
                       const std::string& root, bool guarded, bool unsafe) {
  for (const std::string& candidate : platform::ProgramFileCandidates(file_name)) {
    const std::string path = JoinPath(folder, candidate);
    if (path.empty() || platform::GetPathKind(path) != platform::PathKind::kFile) continue;
    if (!guarded || (!unsafe && platform::WritableOnlyByAdminsAndOwner(path, root))) return path;
    Refuse(path);
  }
  for (const std::string& sub : ListSubfolders(folder)) {
    const std::string sub_path = JoinPath(folder, sub);
    // A link may lead back up the tree (without end) or out of it.
    if (sub_path.empty() || platform::IsLinkEntry(sub_path)) continue;
    const bool sub_unsafe =
        unsafe || (guarded && !platform::WritableOnlyByAdminsAndOwner(sub_path, root));
    std::string found = SearchTree(file_name, sub_path, root, guarded, sub_unsafe);
    if (!found.empty()) return found;
  }
  return {};
}

}  // namespace

std::string FindFileInTree(const std::string& file_name, const std::string& folder) {
  const bool guarded = Guarded();
  const bool unsafe = guarded && !platform::WritableOnlyByAdminsAndOwner(folder, folder);
  return SearchTree(file_name, folder, folder, guarded, unsafe);
}

void GuardFoundFiles(bool guard) {
  g_guard = guard;
}

std::vector<std::string> TakeRefusedFiles() {
  return std::exchange(g_refused, {});
}

}  // namespace orvex::system
