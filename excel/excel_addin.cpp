#include "excel/excel_addin.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "base/no_case.h"
#include "excel/excel_keys.h"
#include "platform/file_attributes.h"

namespace orvex::SfExcelUtil {

namespace {

constexpr std::string_view kLoadPrefix = "/R \"";
constexpr std::string_view kOpen = "OPEN";
constexpr uint32_t kMaxOpenIndex = 999;
constexpr size_t kMaxOpenDigits = 9;  // larger numbers could wrap onto another name

bool OptionsKey(SfRegKeyPath* key) {
  return ExcelUserSubKey("Options", key);
}
bool AddInManagerKey(SfRegKeyPath* key) {
  return ExcelUserSubKey("Add-in Manager", key);
}

// Both separators count: Windows accepts either, and POSIX paths only know '/'.
bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}
bool HasSeparator(std::string_view path) {
  return path.find_first_of("\\/") != path.npos;
}

std::string_view FileName(std::string_view path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

// `text` ends with a separator, the file name and then `tail`.
bool EndsWithFile(std::string_view text, std::string_view file, std::string_view tail) {
  if (file.empty()) return false;  // a bare folder names no add-in
  const size_t size = file.size() + tail.size();
  if (text.size() <= size || !IsSeparator(text[text.size() - size - 1])) return false;
  return EndsWithNoCase(text, std::string(file) + std::string(tail));
}

// The number of an OPEN<digits> name; false for other names (OPENX, overlong digits).
bool OpenIndex(std::string_view name, uint32_t* index) {
  if (!StartsWithNoCase(name, kOpen)) return false;
  const std::string_view digits = name.substr(kOpen.size());
  if (digits.size() > kMaxOpenDigits) return false;
  *index = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    *index = *index * 10 + static_cast<uint32_t>(c - '0');
  }
  return true;
}

std::string OpenName(uint32_t index) {
  return index == 0 ? "OPEN" : "OPEN" + std::to_string(index);
}

// The entries are matched by "\" + file name later, so a name written bare could never
// be removed again: it is written with the current folder, where it was found. Paths
// with a folder, and quoted paths, are the caller's exact text and stay as they are.
std::string Absolute(std::string_view path) {
  if (path.empty() || path.front() == '"' || HasSeparator(path)) return std::string(path);
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(std::filesystem::path(path), error);
  return error ? std::string(path) : full.string();
}

bool IsRegularFile(const std::string& path) {
  return platform::GetPathKind(path) == platform::PathKind::kFile;
}

int Answer(std::string* output, int status, const char* before, const std::string& arg,
           const char* after) {
  output->append(before).append(arg).append(after);
  return status;
}

}  // namespace

bool FindFreeOpenValueName(std::string* name) {
  name->clear();
  SfRegKeyPath key;
  if (!OptionsKey(&key)) return false;
  for (uint32_t index = 0; index <= kMaxOpenIndex; ++index) {
    if (!key.ValueExists(OpenName(index))) {
      *name = OpenName(index);
      return true;
    }
  }
  return false;
}

bool FindOpenEntries(std::string_view path, bool full_path, std::vector<SfRegValue>* entries) {
  entries->clear();
  SfRegKeyPath key;
  if (!OptionsKey(&key)) return false;
  const std::string full = std::string(kLoadPrefix) + std::string(path) + "\"";
  std::vector<std::string> names;
  key.EnumValueNames(kOpen, "", &names);
  for (const std::string& name : names) {
    SfRegValue value;
    std::string data;
    if (!key.ReadValue(name, &value) || value.type != kRegSz || !value.ToString(&data)) continue;
    const bool ends =
        full_path ? EndsWithNoCase(data, full) : EndsWithFile(data, FileName(path), "\"");
    if (StartsWithNoCase(data, kLoadPrefix) && ends) {
      entries->push_back(std::move(value));
    }
  }
  return !entries->empty();
}

bool AddOpenEntry(std::string_view typed) {
  const std::string path = Absolute(typed);
  std::string name;
  SfRegKeyPath key;
  if (!FindFreeOpenValueName(&name) || !OptionsKey(&key)) return false;
  const std::string data =
      !path.empty() && path.front() == '"' ? "/R " + path : std::string(kLoadPrefix) + path + "\"";
  return key.WriteString(name, data);
}

int RemoveOpenEntries(std::string_view path) {
  std::vector<SfRegValue> entries;
  SfRegKeyPath key;
  if (!FindOpenEntries(path, false, &entries) || !OptionsKey(&key)) return 0;
  int deleted = 0;
  for (const SfRegValue& entry : entries) deleted += key.DeleteValue(entry.name) ? 1 : 0;
  return deleted;
}

bool RenumberOpenValues() {
  SfRegKeyPath key;
  if (!OptionsKey(&key)) return false;
  std::vector<std::string> names;
  key.EnumValueNames(kOpen, "", &names);
  std::vector<uint32_t> numbers;
  for (const std::string& name : names) {
    uint32_t index = 0;
    if (OpenIndex(name, &index)) numbers.push_back(index);
  }
  std::sort(numbers.begin(), numbers.end());
  for (uint32_t position = 0; position < numbers.size(); ++position) {
    const uint32_t number = numbers[position];
    if (number == position) continue;
    SfRegValue value;
    const std::string target = OpenName(position);
    // Never overwrite: a value already under the target name would be lost.
    if (!key.ReadValue(OpenName(number), &value) || key.ValueExists(target) ||
        !key.WriteValue(target, value.data, value.type)) {
      return false;
    }
    if (!key.DeleteValue(OpenName(number))) {
      key.DeleteValue(target);
      return false;
    }
  }
  return true;
}

bool FindAddInManagerEntries(std::string_view path, std::vector<std::string>* names) {
  names->clear();
  SfRegKeyPath key;
  if (!AddInManagerKey(&key)) return false;
  std::vector<std::string> all;
  key.EnumValueNames("", FileName(path), &all);
  for (std::string& name : all) {
    if (EndsWithFile(name, FileName(path), "")) names->push_back(std::move(name));
  }
  return !names->empty();
}

int RemoveAddInManagerEntries(std::string_view path) {
  std::vector<std::string> names;
  SfRegKeyPath key;
  if (!FindAddInManagerEntries(path, &names) || !AddInManagerKey(&key)) return 0;
  int deleted = 0;
  for (const std::string& name : names) deleted += key.DeleteValue(name) ? 1 : 0;
  return deleted;
}

bool WriteAddInManagerEntry(std::string_view path) {
  SfRegKeyPath key;
  return AddInManagerKey(&key) && key.WriteString(Absolute(path), "");
}

bool EnsureAddInManagerEntry(std::string_view typed) {
  const std::string path = Absolute(typed);
  SfRegKeyPath key;
  if (!AddInManagerKey(&key)) return false;
  if (key.ValueExists(path)) return true;
  RemoveAddInManagerEntries(path);
  return WriteAddInManagerEntry(path);
}

int EnsureAddInManagerKey() {
  SfRegKeyPath key;
  return AddInManagerKey(&key) && key.Exists() ? 1 : -1;
}

int RegisterAddIn(const std::string& path, std::string* output) {
  if (!IsRegularFile(path)) return Answer(output, -1, "File '", path, "' not found");
  if (EnsureAddInManagerEntry(path)) return Answer(output, 1, "Registering '", path, "' OK");
  return Answer(output, -1, "Registering '", path, "' FAILED");
}

int UnregisterAddIn(const std::string& path, std::string* output) {
  if (RemoveAddInManagerEntries(path) > 0) {
    return Answer(output, 1, "Unregistering '", path, "' OK");
  }
  return Answer(output, -1, "Unregistering '", path, "' FAILED");
}

int IsAddInRegistered(const std::string& arg, std::string* output) {
  bool registered = false;
  SfRegKeyPath key;
  if (HasSeparator(arg)) {
    registered = AddInManagerKey(&key) && key.ValueExists(arg);
  } else {
    std::vector<std::string> names;
    registered = FindAddInManagerEntries(arg, &names);
  }
  if (registered) return Answer(output, 1, "Add in '", arg, "' IS registered");
  return Answer(output, 0, "Add in '", arg, "' IS NOT registered");
}

int EnableAddIn(const std::string& path, std::string* output) {
  if (!IsRegularFile(path)) return Answer(output, -1, "File '", path, "' not found");
  std::vector<SfRegValue> entries;
  const std::string full = Absolute(path);
  if (FindOpenEntries(full, true, &entries)) return Answer(output, 1, "Enable for '", path, "' OK");
  RemoveOpenEntries(full);  // older copies of the same file in other folders
  const bool added = AddOpenEntry(full);
  RenumberOpenValues();
  if (added) return Answer(output, 1, "Enable for '", path, "' OK");
  return Answer(output, -1, "Enable for '", path, "' FAILED");
}

int DisableAddIn(const std::string& arg, std::string* output) {
  if (RemoveOpenEntries(arg) > 0) {
    RenumberOpenValues();
    return Answer(output, 1, "Disable for '", arg, "' OK");
  }
  return Answer(output, -1, "Disable for '", arg, "' FAILED");
}

int IsAddInEnabled(const std::string& arg, std::string* output) {
  std::vector<SfRegValue> entries;
  const bool full_path = HasSeparator(arg);
  if (FindOpenEntries(arg, full_path, &entries)) {
    return Answer(output, 1, "Add in '", arg, "' IS enabled");
  }
  return Answer(output, 0, "Add in '", arg, "' IS NOT enabled");
}

bool InstallAddIn(std::string_view typed) {
  const std::string path = Absolute(typed);
  const bool known = EnsureAddInManagerEntry(path);
  std::vector<SfRegValue> entries;
  if (FindOpenEntries(path, true, &entries)) return known;
  RemoveOpenEntries(path);
  const bool added = AddOpenEntry(path);
  RenumberOpenValues();
  return known && added;
}

bool UninstallAddIn(std::string_view name) {
  const int known = RemoveAddInManagerEntries(name);
  const int loaded = RemoveOpenEntries(name);
  if (loaded > 0) RenumberOpenValues();
  return known + loaded > 0;
}

bool HasRegXllSwitch(std::string_view command_line) {
  return FindNoCase(command_line, "/regXLL") != std::string_view::npos;
}

}  // namespace orvex::SfExcelUtil
