#include "excel/trusted_locations.h"

#include <string_view>
#include <vector>

#include "base/no_case.h"
#include "excel/excel_keys.h"

namespace orvex::SfExcelUtil {

namespace {

constexpr int kMaxLocationIndex = 999;
// Each pass deletes one location; a store that keeps a deleted key cannot loop us.
constexpr int kMaxRemovals = 100000;

bool LocationsKey(SfRegKeyPath* key) {
  return ExcelUserSubKey("Security\\Trusted Locations", key);
}

// The first location sub-key whose "Path" passes `match`, by enumeration order.
template <typename Match>
bool FindLocation(const SfRegKeyPath& locations, Match match, SfRegKeyPath* found) {
  std::vector<std::string> names;
  if (!locations.EnumSubKeys(&names)) return false;
  for (const std::string& name : names) {
    SfRegKeyPath sub = locations;
    sub.Append(name);
    std::string path;
    if (sub.ReadString("Path", &path) && match(path)) {
      *found = sub;
      return true;
    }
  }
  return false;
}

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// `path` names `folder` itself or a folder below it. A bare prefix test would take
// "C:\Program Files" for "C:\Program"; trailing separators on either side do not count.
bool IsSameOrBelow(std::string_view path, std::string_view folder) {
  while (!folder.empty() && IsSeparator(folder.back())) folder.remove_suffix(1);
  if (folder.empty() || !StartsWithNoCase(path, folder)) return false;
  return path.size() == folder.size() || IsSeparator(path[folder.size()]);
}

}  // namespace

bool FindFreeLocationKeyName(std::string* name) {
  name->clear();
  SfRegKeyPath locations;
  if (!LocationsKey(&locations)) return false;
  for (int index = 0; index <= kMaxLocationIndex; ++index) {
    SfRegKeyPath candidate = locations;
    candidate.Append("Location" + std::to_string(index));
    if (!candidate.Exists()) {
      *name = "Location" + std::to_string(index);
      return true;
    }
  }
  return false;
}

bool AddTrustedLocation(const std::string& folder, const std::string& description) {
  std::string name;
  SfRegKeyPath location;
  if (!FindFreeLocationKeyName(&name) || !LocationsKey(&location)) return false;
  location.Append(name);
  location.Create();
  // Without its "Path" the location trusts nothing: that write decides the answer.
  const bool written = location.WriteString("Path", folder);
  location.WriteDword("AllowSubFolders", 1);
  if (!description.empty()) location.WriteString("Description", description);
  return written;
}

bool RemoveTrustedLocation(const std::string& folder) {
  SfRegKeyPath locations;
  if (folder.empty() || !LocationsKey(&locations)) return false;
  const auto match = [&](const std::string& path) { return IsSameOrBelow(path, folder); };
  int deleted = 0;
  SfRegKeyPath found;
  while (deleted < kMaxRemovals && FindLocation(locations, match, &found)) {
    if (!found.DeleteTree()) break;
    ++deleted;
  }
  return deleted > 0;
}

bool IsTrustedLocation(const std::string& folder) {
  SfRegKeyPath locations;
  if (!LocationsKey(&locations)) return false;
  SfRegKeyPath found;
  return FindLocation(
      locations, [&](const std::string& path) { return EqualsNoCase(path, folder); }, &found);
}

}  // namespace orvex::SfExcelUtil
