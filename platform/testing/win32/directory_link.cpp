#include "platform/directory_link.h"

#include <windows.h>

#include <string>

namespace orvex::platform {

namespace {

bool IsReparsePoint(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Wine's own export: the Unix path of a Windows path (null outside Wine).
std::string UnixPath(const std::string& path) {
  using ToUnix = char*(CDECL*)(const WCHAR*);
  const auto to_unix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (to_unix == nullptr) return {};
  const std::wstring wide(path.begin(), path.end());
  char* unix_path = to_unix(wide.c_str());
  if (unix_path == nullptr) return {};
  std::string text = unix_path;
  HeapFree(GetProcessHeap(), 0, unix_path);
  return text;
}

// Wine starts a Unix program given by its Z: path as it is, cutting the line into its
// arguments by the Windows rules.
bool RunUnix(const char* program, const std::string& arguments) {
  std::string command = std::string(program) + " " + arguments;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  const std::string windows_path = std::string("Z:") + program;
  if (!CreateProcessA(windows_path.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    return false;
  }
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

// Wine may answer the wait before the Unix program has done its work: look again.
template <typename Done>
bool SeenWithin(Done done) {
  for (int i = 0; i < 100; ++i) {
    if (done()) return true;
    Sleep(50);
  }
  return false;
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

}  // namespace

bool MakeDirectoryLink(const std::string& target, const std::string& link) {
  if (CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) &&
      IsReparsePoint(link)) {
    return true;
  }
  const std::string unix_target = UnixPath(target);
  const std::string unix_link = UnixPath(link);
  return !unix_target.empty() && !unix_link.empty() &&
         RunUnix("/bin/ln", "-s " + Quoted(unix_target) + " " + Quoted(unix_link)) &&
         SeenWithin([&link] { return IsReparsePoint(link); });
}

bool RemoveDirectoryLink(const std::string& link) {
  if (!IsReparsePoint(link)) return false;
  // Wine's RemoveDirectoryA removes the folder the link leads to, and leaves the link;
  // its Unix name is looked up through the parent, as the link's own leads on.
  std::string path = link;
  while (path.ends_with('\\')) path.pop_back();
  const size_t slash = path.find_last_of('\\');
  const std::string unix_parent = slash == std::string::npos ? "" : UnixPath(path.substr(0, slash));
  if (unix_parent.empty()) return RemoveDirectoryA(link.c_str()) != 0;
  const std::string unix_link = unix_parent + "/" + path.substr(slash + 1);
  return RunUnix("/bin/rm", Quoted(unix_link)) && SeenWithin([&link] {
           return GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES;
         });
}

}  // namespace orvex::platform
