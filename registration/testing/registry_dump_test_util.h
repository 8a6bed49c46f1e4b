#pragma once
// Test helpers: a text dump of the sandboxed registry, one line per value, so that
// tests can compare what an operation wrote with an expected list. Empty keys do not
// show: removals leave the shared parents ("Software\Classes") behind.
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "platform/registry_sandbox.h"
#include "registry/reg_key_path.h"

namespace orvex::registration_test {

inline const char* RootName(RegRoot root) {
  return root == RegRoot::kCurrentUser ? "HKCU" : "HKLM";
}

// Every value below `key` as "ROOT:path\[name]=data" (texts as text, DWORDs in
// decimal, other types as their byte count).
inline void DumpKey(const SfRegKeyPath& key, std::vector<std::string>* lines) {
  std::vector<std::string> values;
  std::vector<std::string> children;
  key.EnumValueNames("", "", &values);
  key.EnumSubKeys(&children);
  const std::string head = std::string(RootName(key.root())) + ":" + key.path();
  for (const std::string& name : values) {
    SfRegValue value;
    std::string data;
    key.ReadValue(name, &value);
    if (!value.ToString(&data)) {
      data = value.type == kRegDword && value.data.size() == 4
                 ? "dword:" + std::to_string(value.data[0] | value.data[1] << 8 |
                                             value.data[2] << 16 | value.data[3] << 24)
                 : "bytes:" + std::to_string(value.data.size());
    }
    lines->push_back(head + "\\[" + name + "]=" + data);
  }
  for (const std::string& child : children) {
    SfRegKeyPath sub = key;
    sub.Append(child);
    DumpKey(sub, lines);
  }
}

// Both roots as stored: the 64-bit view shows every key where it is, without the
// 32-bit view's redirection (a 32-bit registration shows below "WOW6432Node").
inline std::set<std::string> DumpRegistry() {
  std::vector<std::string> lines;
  for (RegRoot root : {RegRoot::kCurrentUser, RegRoot::kLocalMachine}) {
    DumpKey(SfRegKeyPath(root, "", true), &lines);
  }
  return std::set<std::string>(lines.begin(), lines.end());
}

// Where a key written to HKEY_LOCAL_MACHINE "Software\<rest>" in the default view is
// stored: below "WOW6432Node" where the views stay apart (the POSIX store behaves as a
// 32-bit program), in place where the test sandbox collapses them (Windows).
inline std::string MachineDefaultView(const std::string& rest) {
  return platform::RegistrySandbox::KeepsViews() ? "Software\\WOW6432Node\\" + rest
                                                 : "Software\\" + rest;
}

// Lines of `after` not in `before`.
inline std::vector<std::string> Added(const std::set<std::string>& before,
                                      const std::set<std::string>& after) {
  std::vector<std::string> added;
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                      std::back_inserter(added));
  return added;
}

}  // namespace orvex::registration_test
