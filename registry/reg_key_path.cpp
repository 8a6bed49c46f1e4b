#include "registry/reg_key_path.h"

#include "base/no_case.h"
#include "base/trim_space.h"

namespace orvex {

using platform::RegAccess;
using platform::RegistryKey;
using platform::RegResult;

namespace {

// The buffers the enumerations were specified with: longer names end the listing.
constexpr size_t kSubKeyNameBuffer = 256;
constexpr size_t kValueNameBuffer = 1024;

}  // namespace

SfRegKeyPath::SfRegKeyPath(RegRoot root, std::string_view path, bool view64)
    : root_(root), path_(Normalize(path)), view64_(view64) {}

std::string SfRegKeyPath::Normalize(std::string_view text) {
  text = TrimSpace(text);
  while (!text.empty() && (text.front() == '\\' || text.back() == '\\')) {
    if (text.front() == '\\') text.remove_prefix(1);
    if (!text.empty() && text.back() == '\\') text.remove_suffix(1);
    text = TrimSpace(text);
  }
  return std::string(text);
}

void SfRegKeyPath::Append(std::string_view name) {
  const std::string part = Normalize(name);
  if (part.empty()) return;
  path_ = path_.empty() ? part : path_ + "\\" + part;
}

bool SfRegKeyPath::Open(RegAccess access, RegistryKey* key) const {
  return RegistryKey::Open(root_, path_, access, view64_, key) == RegResult::kOk;
}

bool SfRegKeyPath::Exists() const {
  RegistryKey key;
  return Open(RegAccess::kRead, &key);
}

bool SfRegKeyPath::Create() const {
  (void)Exists();
  RegistryKey key;
  return RegistryKey::Create(root_, path_, view64_, &key, nullptr) == RegResult::kOk;
}

bool SfRegKeyPath::ReadValue(std::string_view name, SfRegValue* value) const {
  RegistryKey key;
  if (!Open(RegAccess::kRead, &key)) return false;
  value->name = std::string(name);
  return key.QueryValue(name, &value->type, &value->data, nullptr) == RegResult::kOk;
}

bool SfRegKeyPath::ReadString(std::string_view name, std::string* text) const {
  SfRegValue value;
  text->clear();
  return ReadValue(name, &value) && value.ToString(text);
}

bool SfRegKeyPath::ValueExists(std::string_view name) const {
  RegistryKey key;
  return Open(RegAccess::kRead, &key) &&
         key.QueryValue(name, nullptr, nullptr, nullptr) == RegResult::kOk;
}

bool SfRegKeyPath::WriteValue(std::string_view name, const std::vector<uint8_t>& data,
                              uint32_t type) const {
  RegistryKey key;
  return Open(RegAccess::kAll, &key) &&
         key.SetValue(name, type, data.data(), data.size()) == RegResult::kOk;
}

bool SfRegKeyPath::WriteString(std::string_view name, std::string_view text) const {
  return WriteValue(name, SfRegValue::String(name, text).data, kRegSz);
}

bool SfRegKeyPath::WriteDword(std::string_view name, uint32_t number) const {
  return WriteValue(name, SfRegValue::Dword(name, number).data, kRegDword);
}

bool SfRegKeyPath::DeleteValue(std::string_view name) const {
  RegistryKey key;
  return Open(RegAccess::kAll, &key) && key.DeleteValue(name) == RegResult::kOk;
}

bool SfRegKeyPath::EnumSubKeys(std::vector<std::string>* names) const {
  names->clear();
  RegistryKey key;
  if (!Open(RegAccess::kRead, &key)) return false;
  std::string name;
  for (uint32_t index = 0; key.EnumSubKey(index, &name) == RegResult::kOk; ++index) {
    if (name.size() >= kSubKeyNameBuffer) break;
    names->push_back(name);
  }
  return true;
}

bool SfRegKeyPath::EnumValueNames(std::string_view prefix, std::string_view suffix,
                                  std::vector<std::string>* names) const {
  names->clear();
  RegistryKey key;
  if (!Open(RegAccess::kRead, &key)) return false;
  std::string name;
  for (uint32_t index = 0;; ++index) {
    const RegResult r = key.EnumValue(index, &name);
    if (r == RegResult::kNoMoreItems) return true;
    if (r != RegResult::kOk || name.size() >= kValueNameBuffer) return false;
    if (StartsWithNoCase(name, prefix) && EndsWithNoCase(name, suffix)) names->push_back(name);
  }
}

bool SfRegKeyPath::DeleteTree() const {
  if (path_.empty()) return false;
  std::vector<std::string> children;
  if (EnumSubKeys(&children)) {
    for (const std::string& child : children) {
      SfRegKeyPath sub = *this;
      sub.path_ += "\\" + child;  // as enumerated: no trimming of the stored name
      (void)sub.DeleteTree();     // a survivor makes the final delete fail
    }
  }
  const size_t cut = path_.rfind('\\');
  const SfRegKeyPath parent(root_, cut == std::string::npos ? "" : path_.substr(0, cut), view64_);
  const std::string last = cut == std::string::npos ? path_ : path_.substr(cut + 1);
  // A key that is already gone is deleted: removals run over several places and
  // must not fail on the copy an earlier pass (or another program) took away.
  RegistryKey key;
  const RegResult opened = RegistryKey::Open(root_, parent.path_, RegAccess::kRead, view64_, &key);
  if (opened == RegResult::kNotFound) return true;
  if (opened != RegResult::kOk) return false;
  const RegResult deleted = key.DeleteSubKey(last);
  return deleted == RegResult::kOk || deleted == RegResult::kNotFound;
}

}  // namespace orvex
