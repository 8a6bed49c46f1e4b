// Known folders on Windows: the shell's folder functions.
#include "platform/known_folder.h"

#include <shlobj.h>
#include <windows.h>

namespace orvex::platform {

namespace {

// FOLDERID_ProgramData, spelled out so that no GUID library is needed.
constexpr GUID kProgramDataId = {
    0x62AB5D82, 0xFDC1, 0x4DC3, {0xA9, 0xDD, 0x07, 0x0D, 0x1D, 0x49, 0x5D, 0x97}};

bool ProgramData(std::string* path) {
  PWSTR wide = nullptr;
  if (FAILED(SHGetKnownFolderPath(kProgramDataId, 0, nullptr, &wide))) {
    CoTaskMemFree(wide);
    return false;
  }
  const int size = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  bool ok = size > 0;
  if (ok) {
    std::string text(static_cast<size_t>(size), '\0');
    ok = WideCharToMultiByte(CP_ACP, 0, wide, -1, text.data(), size, nullptr, nullptr) > 0;
    text.resize(static_cast<size_t>(size) - 1);
    *path = std::move(text);
  }
  CoTaskMemFree(wide);
  return ok;
}

}  // namespace

bool GetKnownFolder(KnownFolder folder, bool create, std::string* path) {
  path->clear();
  if (folder == KnownFolder::kProgramData) return ProgramData(path);
  char buffer[MAX_PATH] = {};
  const int flags = CSIDL_LOCAL_APPDATA | (create ? CSIDL_FLAG_CREATE : 0);
  if (FAILED(SHGetFolderPathA(nullptr, flags, nullptr, 0, buffer))) return false;
  *path = buffer;
  return true;
}

}  // namespace orvex::platform
