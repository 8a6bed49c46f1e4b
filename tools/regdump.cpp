// regdump: prints registry keys, with everything below them, as .reg text, so that a
// Linux user can see what a registration wrote into the store.
//
//   regdump [-64] [ROOT[\path] ...]      ROOT: HKCU, HKLM, HKCR, HKU (or the long names)
//
// Without keys it prints HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE. -64 reads the
// 64-bit view (the default view is the 32-bit one, as for the system's programs).
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "tools/reg_text.h"

namespace {

using orvex::platform::RegAccess;
using orvex::platform::RegistryKey;
using orvex::platform::RegResult;
using orvex::platform::RegRoot;

struct RootName {
  const char* short_name;
  const char* long_name;
  RegRoot root;
};
constexpr RootName kRoots[] = {
    {"HKCU", "HKEY_CURRENT_USER", RegRoot::kCurrentUser},
    {"HKLM", "HKEY_LOCAL_MACHINE", RegRoot::kLocalMachine},
    {"HKCR", "HKEY_CLASSES_ROOT", RegRoot::kClassesRoot},
    {"HKU", "HKEY_USERS", RegRoot::kUsers},
};

bool SameName(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool ParseKey(const std::string& text, const RootName** root, std::string* path) {
  const size_t cut = text.find('\\');
  const std::string head = text.substr(0, cut);
  for (const RootName& candidate : kRoots) {
    if (SameName(head, candidate.short_name) || SameName(head, candidate.long_name)) {
      *root = &candidate;
      *path = cut == std::string::npos ? "" : text.substr(cut + 1);
      return true;
    }
  }
  return false;
}

// Prints the key and, depth first in enumeration order, its sub-keys.
bool Dump(const RootName& root, const std::string& path, bool view64) {
  RegistryKey key;
  const RegResult r = RegistryKey::Open(root.root, path, RegAccess::kRead, view64, &key);
  if (r != RegResult::kOk) {
    std::fprintf(stderr, "regdump: %s\\%s: %s %s\n", root.long_name, path.c_str(),
                 orvex::platform::RegResultName(r), orvex::platform::RegistryLastError().c_str());
    return false;
  }
  std::printf("[%s%s%s]\n", root.long_name, path.empty() ? "" : "\\", path.c_str());
  std::string name;
  for (uint32_t i = 0; key.EnumValue(i, &name) == RegResult::kOk; ++i) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (key.QueryValue(name, &type, &data, nullptr) == RegResult::kOk) {
      std::printf("%s\n", orvex::tools::RegValueLine(name, type, data).c_str());
    }
  }
  std::printf("\n");
  std::vector<std::string> children;
  for (uint32_t i = 0; key.EnumSubKey(i, &name) == RegResult::kOk; ++i) children.push_back(name);
  bool ok = true;
  for (const std::string& child : children) {
    ok = Dump(root, path.empty() ? child : path + "\\" + child, view64) && ok;
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  bool view64 = false;
  std::vector<std::string> keys;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-64") == 0) {
      view64 = true;
    } else if (argv[i][0] == '-') {
      std::fprintf(stderr, "usage: regdump [-64] [ROOT[\\path] ...]\n");
      return 2;
    } else {
      keys.emplace_back(argv[i]);
    }
  }
  if (keys.empty()) keys = {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"};
  std::printf("REGEDIT4\n\n");
  bool ok = true;
  for (const std::string& text : keys) {
    const RootName* root = nullptr;
    std::string path;
    if (!ParseKey(text, &root, &path)) {
      std::fprintf(stderr, "regdump: unknown root in %s\n", text.c_str());
      ok = false;
      continue;
    }
    ok = Dump(*root, path, view64) && ok;
  }
  return ok ? 0 : 1;
}
