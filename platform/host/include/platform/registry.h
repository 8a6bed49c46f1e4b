#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::platform {

// Predefined root keys. kNone (0) means "no root chosen" to the layers above.
enum class RegRoot : uint8_t { kNone = 0, kClassesRoot, kCurrentUser, kLocalMachine, kUsers };

// Outcome of a registry call. kAccessDenied also covers deleting a key that still
// has sub-keys and writing through a key opened for reading, as Windows reports it.
enum class RegResult : uint8_t {
  kOk,
  kNotFound,
  kNoMoreItems,
  kAccessDenied,
  kStoreError,  // the store could not be read or written (see RegistryLastError)
  kInvalid,     // bad argument or handle
};

// Value types, numbered as Windows numbers them; any other number is kept as given.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;
inline constexpr uint32_t kRegQword = 11;

enum class RegAccess : uint8_t { kRead, kAll };

struct RegKeyState;  // backend data of an open key

// An open registry key. Move-only; closes itself. Not shared between threads.
// Windows: an HKEY from RegOpenKeyExA/RegCreateKeyExA. POSIX: a key of the SQLite
// store (see docs/registry.md), re-validated on every call so that a key deleted
// by another process answers kNotFound rather than stale data.
class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey();
  RegistryKey(RegistryKey&& other) noexcept;
  RegistryKey& operator=(RegistryKey&& other) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens `root`\`path` (backslash-separated; empty = the root itself). `view64`
  // asks for the 64-bit registry view; without it the process's default view applies
  // (the 32-bit view on POSIX, which behaves as a 32-bit Windows program).
  static RegResult Open(RegRoot root, std::string_view path, RegAccess access, bool view64,
                        RegistryKey* out);
  // Opens or creates (with every missing parent) the key for full access; *created
  // tells whether it was new (may be null). One transaction on POSIX.
  static RegResult Create(RegRoot root, std::string_view path, bool view64, RegistryKey* out,
                          bool* created);

  bool IsOpen() const { return state_ != nullptr; }
  void Close();

  // Reads a value (empty name = default value). `data` may be null to ask only for
  // existence, type and size; *size (may be null) receives the byte count.
  RegResult QueryValue(std::string_view name, uint32_t* type, std::vector<uint8_t>* data,
                       size_t* size) const;
  // Writes a value with the exact type and bytes given. Needs RegAccess::kAll.
  RegResult SetValue(std::string_view name, uint32_t type, const uint8_t* data, size_t size) const;
  RegResult DeleteValue(std::string_view name) const;
  // Deletes the direct sub-key `name`, which must have no sub-keys of its own.
  RegResult DeleteSubKey(std::string_view name) const;
  // Name of the sub-key at `index` (case-insensitive name order) or kNoMoreItems.
  RegResult EnumSubKey(uint32_t index, std::string* name) const;
  // Name of the value at `index` (creation order) or kNoMoreItems.
  RegResult EnumValue(uint32_t index, std::string* name) const;

 private:
  RegKeyState* state_ = nullptr;
};

// A readable description of the last kStoreError of this thread (path and cause),
// empty when there was none. Windows: the system message of the last error code.
std::string RegistryLastError();

// Short fixed text for a result, for diagnostics.
inline const char* RegResultName(RegResult result) {
  switch (result) {
    case RegResult::kOk:
      return "ok";
    case RegResult::kNotFound:
      return "not found";
    case RegResult::kNoMoreItems:
      return "no more items";
    case RegResult::kAccessDenied:
      return "access denied";
    case RegResult::kStoreError:
      return "store error";
    case RegResult::kInvalid:
      break;
  }
  return "invalid";
}

}  // namespace orvex::platform
