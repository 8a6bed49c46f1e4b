// Files and folders on Windows: the "A" file functions and PathCombineA.
#define _CRT_RAND_S  // rand_s, the system's random numbers
#include "platform/file_system.h"

#include "platform/write_guard.h"

#include <windows.h>

#include <cstdlib>

#include <shlwapi.h>

#include "everyone_access.h"

namespace orvex::platform {

namespace {

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

char PathSeparator() {
  return '\\';
}

std::string CombinePath(const std::string& folder, const std::string& name) {
  char buffer[MAX_PATH] = {};
  if (folder.size() >= MAX_PATH || name.size() >= MAX_PATH) return {};
  if (PathCombineA(buffer, folder.empty() ? nullptr : folder.c_str(),
                   name.empty() ? nullptr : name.c_str()) == nullptr) {
    return {};
  }
  return buffer;
}

std::string AbsolutePath(const std::string& path) {
  char buffer[MAX_PATH] = {};
  const DWORD size = path.empty() ? 0 : GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
  return size == 0 || size >= MAX_PATH ? std::string() : std::string(buffer, size);
}

bool CreateUniqueFile(const std::string& prefix, const std::string& suffix,
                      const std::function<std::string(const std::string&)>& bytes_for,
                      std::string* path) {
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string name = prefix;
    for (int i = 0; i < 8; ++i) {
      unsigned int value = 0;
      if (rand_s(&value) != 0) return false;
      name += kDigits[value % 36];
    }
    name += suffix;
    // CREATE_NEW never opens what is there, a link included.
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return false;
    }
    const std::string bytes = bytes_for(name);
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0 &&
        written == bytes.size();
    CloseHandle(file);
    if (!ok) {
      DeleteFileA(name.c_str());
      return false;
    }
    *path = std::move(name);
    return true;
  }
  return false;
}

bool EnsureGuardedFolder(const std::string& folder, bool) {
  // Without the trailing separator the attributes are the link's own, not its target's.
  std::string path = folder;
  while (path.size() > 3 && (path.ends_with('\\') || path.ends_with('/'))) path.pop_back();
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return CreateDirectoryA(path.c_str(), nullptr) != 0;
  // A folder a standard user made first (or a link they put there) could be
  // emptied and refilled by them between our steps.
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && OwnedByAdminsOrSelf(path);
}

bool WriteGuardedFile(const std::string& path, const std::string& bytes) {
  DeleteFileEntry(path);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE | WRITE_DAC, FILE_SHARE_READ, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0;
  // Other users' installers rewrite the file; it stays readable without the grant. The
  // grant goes to the open file, never by a path that could be swapped meanwhile.
  if (ok) GrantEveryoneFullAccessTo(file);
  CloseHandle(file);
  return ok;
}

bool CreateOneFolder(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool DeleteFileEntry(const std::string& path) {
  return IsFile(path) && DeleteFileA(path.c_str()) != 0;
}

bool WriteFileExclusive(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0;
  CloseHandle(file);
  return ok;
}

bool CopyFileReplacing(const std::string& from, const std::string& to) {
  return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

bool ListSubfolderNames(const std::string& folder, std::vector<std::string>* names) {
  names->clear();
  const std::string pattern = folder.ends_with('\\') ? folder + "*" : folder + "\\*";
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    const std::string name = found.cFileName;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..") {
      names->push_back(name);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return true;
}

bool TempFolderPath(std::string* path) {
  char buffer[MAX_PATH] = {};
  const DWORD n = GetTempPathA(sizeof buffer, buffer);
  if (n == 0 || n >= sizeof buffer) {
    path->clear();
    return false;
  }
  *path = std::string(buffer, n);
  return true;
}

std::string FallbackTempFolder() {
  return "C:\\temp";
}

std::vector<std::string> ProgramFileCandidates(const std::string& name) {
  return {name};
}

}  // namespace orvex::platform
