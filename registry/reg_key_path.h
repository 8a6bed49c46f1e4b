#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "registry/reg_value.h"

namespace orvex {

using RegRoot = platform::RegRoot;

// A registry key named by root, path text and 64-bit-view flag. Every operation opens
// the key for that one call (KEY_READ or KEY_ALL_ACCESS, plus KEY_WOW64_64KEY with
// the view flag) and closes it again; nothing is cached, nothing throws. Texts given
// to the constructor, SetPath and Append are normalised (see Normalize).
class SfRegKeyPath {
 public:
  SfRegKeyPath() = default;
  SfRegKeyPath(RegRoot root, std::string_view path, bool view64 = false);

  // Trims white space at both ends, then strips leading and trailing backslashes with
  // any white space next to them, until the text neither begins nor ends with one.
  static std::string Normalize(std::string_view text);

  RegRoot root() const { return root_; }
  const std::string& path() const { return path_; }
  bool view64() const { return view64_; }
  void SetPath(std::string_view text) { path_ = Normalize(text); }

  // path + "\" + name (name alone on an empty path); an empty name changes nothing.
  void Append(std::string_view name);

  bool Exists() const;
  // Opens once for reading (result unused), then creates; true also when it existed.
  bool Create() const;

  // Reads type and bytes of a value into *value (its name set to `name`).
  bool ReadValue(std::string_view name, SfRegValue* value) const;
  // REG_SZ or REG_EXPAND_SZ text up to the first zero byte (not expanded); any other
  // type or a missing value gives the empty text and false.
  bool ReadString(std::string_view name, std::string* text) const;
  bool ValueExists(std::string_view name) const;

  // Writes into an existing key (it is not created here).
  bool WriteValue(std::string_view name, const std::vector<uint8_t>& data, uint32_t type) const;
  bool WriteString(std::string_view name, std::string_view text) const;
  bool WriteDword(std::string_view name, uint32_t number) const;
  bool DeleteValue(std::string_view name) const;

  // Sub-key names in the registry's order; false only when the key does not open.
  bool EnumSubKeys(std::vector<std::string>* names) const;
  // Value names beginning with `prefix` and ending with `suffix` (case-insensitive; an
  // empty one accepts all). True only when the enumeration reached its regular end.
  bool EnumValueNames(std::string_view prefix, std::string_view suffix,
                      std::vector<std::string>* names) const;

  // Deletes every sub-key depth-first, then the key itself from its parent; the answer
  // is that last delete's, where a key that does not exist counts as deleted. An empty
  // path (the root itself) is never deleted.
  bool DeleteTree() const;

 private:
  bool Open(platform::RegAccess access, platform::RegistryKey* key) const;

  RegRoot root_ = RegRoot::kNone;
  std::string path_;
  bool view64_ = false;
};

}  // namespace orvex
