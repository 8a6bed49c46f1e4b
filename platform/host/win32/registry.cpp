// Registry facility on Windows: a thin layer over the Reg*A functions.
#include "platform/registry.h"

#include <windows.h>

#include <utility>

namespace orvex::platform {

struct RegKeyState {
  HKEY hkey;
  bool view64;  // the view the key was opened in; deletes must name it again
};

namespace {

thread_local std::string g_last_error;

HKEY RootHandle(RegRoot root) {
  switch (root) {
    case RegRoot::kClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegRoot::kCurrentUser:
      return HKEY_CURRENT_USER;
    case RegRoot::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegRoot::kUsers:
      return HKEY_USERS;
    case RegRoot::kNone:
      break;
  }
  return nullptr;
}

RegResult WindowsResult(LONG code) {
  switch (code) {
    case ERROR_SUCCESS:
      return RegResult::kOk;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_KEY_DELETED:
      return RegResult::kNotFound;
    case ERROR_NO_MORE_ITEMS:
      return RegResult::kNoMoreItems;
    case ERROR_ACCESS_DENIED:
      return RegResult::kAccessDenied;
    case ERROR_INVALID_HANDLE:
    case ERROR_INVALID_PARAMETER:
    case ERROR_BAD_PATHNAME:
      return RegResult::kInvalid;
    default:
      break;
  }
  char text[256] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 static_cast<DWORD>(code), 0, text, sizeof(text) - 1, nullptr);
  g_last_error = "registry error " + std::to_string(code) + ": " + text;
  return RegResult::kStoreError;
}

// Opening or creating: an overlong name comes back as "more data" (Wine) or as an
// invalid parameter (Windows); both are a bad argument.
RegResult OpenResult(LONG code) {
  return code == ERROR_MORE_DATA ? RegResult::kInvalid : WindowsResult(code);
}

REGSAM Mask(RegAccess access, bool view64) {
  REGSAM mask = access == RegAccess::kAll ? KEY_ALL_ACCESS : KEY_READ;
  return view64 ? (mask | KEY_WOW64_64KEY) : mask;
}

}  // namespace

void RegistryKey::Close() {
  if (state_) {
    RegCloseKey(state_->hkey);
    delete state_;
    state_ = nullptr;
  }
}

RegResult RegistryKey::Open(RegRoot root, std::string_view path, RegAccess access, bool view64,
                            RegistryKey* out) {
  out->Close();
  HKEY base = RootHandle(root);
  if (!base) return RegResult::kInvalid;
  HKEY hkey = nullptr;
  const std::string sub(path);
  LONG rc = RegOpenKeyExA(base, sub.c_str(), 0, Mask(access, view64), &hkey);
  if (rc != ERROR_SUCCESS) return OpenResult(rc);
  out->state_ = new RegKeyState{hkey, view64};
  return RegResult::kOk;
}

RegResult RegistryKey::Create(RegRoot root, std::string_view path, bool view64, RegistryKey* out,
                              bool* created) {
  out->Close();
  HKEY base = RootHandle(root);
  if (!base) return RegResult::kInvalid;
  HKEY hkey = nullptr;
  DWORD disposition = 0;
  const std::string sub(path);
  LONG rc = RegCreateKeyExA(base, sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            Mask(RegAccess::kAll, view64), nullptr, &hkey, &disposition);
  if (rc != ERROR_SUCCESS) return OpenResult(rc);
  out->state_ = new RegKeyState{hkey, view64};
  if (created) *created = disposition == REG_CREATED_NEW_KEY;
  return RegResult::kOk;
}

RegResult RegistryKey::QueryValue(std::string_view name, uint32_t* type, std::vector<uint8_t>* data,
                                  size_t* size) const {
  if (!state_) return RegResult::kInvalid;
  const std::string value_name(name);
  // The value may grow between the size query and the read; ask again then.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD kind = 0;
    DWORD bytes = 0;
    LONG rc = RegQueryValueExA(state_->hkey, value_name.c_str(), nullptr, &kind, nullptr, &bytes);
    if (rc != ERROR_SUCCESS) return WindowsResult(rc);
    if (type) *type = kind;
    if (size) *size = bytes;
    if (!data) return RegResult::kOk;
    data->assign(bytes, 0);
    DWORD got = bytes;
    rc = RegQueryValueExA(state_->hkey, value_name.c_str(), nullptr, &kind,
                          bytes ? data->data() : nullptr, &got);
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS) return WindowsResult(rc);
    data->resize(got);
    if (type) *type = kind;
    if (size) *size = got;
    return RegResult::kOk;
  }
  return WindowsResult(ERROR_MORE_DATA);
}

RegResult RegistryKey::SetValue(std::string_view name, uint32_t type, const uint8_t* data,
                                size_t size) const {
  if (!state_ || size > 0xFFFFFFFFu) return RegResult::kInvalid;
  const std::string value_name(name);
  return WindowsResult(
      RegSetValueExA(state_->hkey, value_name.c_str(), 0, type, data, static_cast<DWORD>(size)));
}

RegResult RegistryKey::DeleteValue(std::string_view name) const {
  if (!state_) return RegResult::kInvalid;
  const std::string value_name(name);
  return WindowsResult(RegDeleteValueA(state_->hkey, value_name.c_str()));
}

RegResult RegistryKey::DeleteSubKey(std::string_view name) const {
  if (!state_) return RegResult::kInvalid;
  const std::string sub(name);
  // RegDeleteKeyA always works in the program's own view: from a 32-bit program it
  // would delete the 32-bit twin of a key found in the 64-bit view.
  return WindowsResult(
      RegDeleteKeyExA(state_->hkey, sub.c_str(), state_->view64 ? KEY_WOW64_64KEY : 0, 0));
}

RegResult RegistryKey::EnumSubKey(uint32_t index, std::string* name) const {
  if (!state_) return RegResult::kInvalid;
  char buffer[256];
  DWORD length = sizeof(buffer);
  LONG rc = RegEnumKeyExA(state_->hkey, index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return WindowsResult(rc);
  name->assign(buffer, length);
  return RegResult::kOk;
}

RegResult RegistryKey::EnumValue(uint32_t index, std::string* name) const {
  if (!state_) return RegResult::kInvalid;
  std::string buffer(16384, '\0');
  DWORD length = static_cast<DWORD>(buffer.size());
  LONG rc = RegEnumValueA(state_->hkey, index, buffer.data(), &length, nullptr, nullptr, nullptr,
                          nullptr);
  if (rc != ERROR_SUCCESS) return WindowsResult(rc);
  buffer.resize(length);
  *name = std::move(buffer);
  return RegResult::kOk;
}

std::string RegistryLastError() {
  return g_last_error;
}

}  // namespace orvex::platform
