#include "excel/excel_discovery.h"

#include <cctype>
#include <cstdio>

#include "base/no_case.h"
#include "base/trim_space.h"
#include "platform/binary_type.h"
#include "platform/env_expand.h"
#include "registry/reg_key_path.h"

namespace orvex::SfExcelUtil {

namespace {

constexpr std::string_view kCurVerPrefix = "Excel.Application.";
constexpr std::string_view kAutomationSwitch = "/automation";
constexpr const char* kAppPathsKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\excel.exe";
constexpr size_t kAppPathBuffer = 2048;
constexpr uint32_t kExpandBuffer = 260;
constexpr size_t kMaxVersionDigits = 9;  // keeps the number inside 32 bits

bool ClassesDefault(const std::string& path, std::string* text) {
  return SfRegKeyPath(RegRoot::kClassesRoot, path).ReadString("", text);
}

std::string TrimBlanks(const std::string& text) {
  const size_t begin = text.find_first_not_of(' ');
  if (begin == std::string::npos) return "";
  return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

// The CurVer value when it carries the Excel.Application prefix: the rest of it.
bool CurVerSuffix(std::string* rest) {
  std::string text;
  if (!ClassesDefault("Excel.Application\\CurVer", &text) ||
      !StartsWithNoCase(text, kCurVerPrefix)) {
    return false;
  }
  *rest = text.substr(kCurVerPrefix.size());
  return true;
}

// Trace lines of the App Paths look-up go to standard output unless collected.
void Print(std::string* printed, const std::string& line) {
  if (printed) {
    *printed += line;
  } else {
    std::fputs(line.c_str(), stdout);
  }
}

// Only a reference at the very start is expanded; the rest is kept as written.
std::string ExpandLeadingReference(const std::string& text, std::string* printed) {
  if (text.empty()) {
    Print(printed, "\nExcel path.length==0\n");
    return text;
  }
  Print(printed, "\nExpandEnvironmentVariableFromStartofThePath=" + text + "\n");
  std::string path = TrimBlanks(text);
  const size_t second = path.size() > 1 && path[0] == '%' ? path.find('%', 1) : std::string::npos;
  if (second == std::string::npos) return path;
  std::string expanded;
  const uint32_t needed = platform::ExpandEnvironmentText(path.substr(0, second + 1), &expanded);
  // A result longer than the buffer the lookup allows is not used half-written.
  if (needed == 0 || needed > kExpandBuffer) return path;
  return expanded + path.substr(second + 1);
}

}  // namespace

bool GetExcelPath(std::string* path) {
  path->clear();
  std::string clsid;
  if (!ClassesDefault("Excel.Application\\CLSID", &clsid)) return false;
  std::string server;
  if (!ClassesDefault("CLSID\\" + clsid + "\\LocalServer32", &server) &&
      !ClassesDefault("CLSID\\" + clsid + "\\LocalServer", &server)) {
    return false;
  }
  if (EndsWithNoCase(server, kAutomationSwitch)) {
    server.resize(server.size() - kAutomationSwitch.size());
  }
  *path = std::string(TrimSpace(server));
  return !path->empty();
}

bool GetExcelPathUnquoted(std::string* path) {
  GetExcelPath(path);
  if (path->size() >= 2 && path->front() == '"' && path->back() == '"') {
    *path = path->substr(1, path->size() - 2);
  }
  return !path->empty();
}

int GetExcelBitness() {
  std::string path;
  platform::BinaryType type;
  if (!GetExcelPathUnquoted(&path) || !platform::ClassifyExecutable(path, &type)) return 0;
  if (type == platform::BinaryType::k32Bit) return 32;
  return type == platform::BinaryType::k64Bit ? 64 : 0;
}

bool GetExcelVersion(std::string* version) {
  version->clear();
  std::string rest;
  if (!CurVerSuffix(&rest)) return false;
  *version = rest + ".0";
  return true;
}

uint32_t GetExcelVersionNumber() {
  std::string rest;
  if (!CurVerSuffix(&rest)) return 0;
  size_t digits = 0;
  uint32_t number = 0;
  while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') {
    number = number * 10 + static_cast<uint32_t>(rest[digits] - '0');
    if (++digits > kMaxVersionDigits) return 0;
  }
  if (digits == 0) return 0;
  for (size_t i = digits; i < rest.size(); ++i) {
    if (!std::isspace(static_cast<unsigned char>(rest[i]))) return 0;
  }
  return number;
}

bool GetExcelUserKey(std::string* key) {
  key->clear();
  // Only a version number names Office's branch: "16a" or "16 " would make the add-in
  // and trusted-location operations write into a key Excel never reads.
  const uint32_t number = GetExcelVersionNumber();
  if (number == 0) return false;
  *key = "Software\\Microsoft\\Office\\" + std::to_string(number) + ".0\\Excel";
  return true;
}

int GetExcelBitnessFromAppPaths(std::string* text, std::string* printed) {
  text->clear();
  const SfRegKeyPath key(RegRoot::kLocalMachine, kAppPathsKey);
  if (!key.Exists()) {
    Print(printed, "\nMissing App Paths\\excel.exe in registry\n");
    return -1;
  }
  SfRegValue value;
  if (!key.ReadValue("Path", &value) || value.data.size() > kAppPathBuffer) {
    Print(printed, "\nMissing excel Path in registry\n");
    return -1;
  }
  // The buffer is read as a C string: up to the first zero byte, whatever the type.
  std::string folder;
  for (uint8_t byte : value.data) {
    if (byte == 0) break;
    folder += static_cast<char>(byte);
  }
  std::string path = ExpandLeadingReference(folder, printed);
  path = path.substr(0, path.find(';'));
  path += "excel.exe";
  Print(printed, "\nExcel path: " + path + "\n");
  platform::BinaryType type;
  if (!platform::ClassifyExecutable(path, &type)) {
    *text = path;
    return -1;
  }
  if (type == platform::BinaryType::k64Bit) {
    *text = "64";
    return 64;
  }
  if (type == platform::BinaryType::k32Bit) {
    *text = "32";
    return 32;
  }
  Print(printed, "\nUnknown Excel bit version\n");
  *text = "unknown";
  return 0;
}

}  // namespace orvex::SfExcelUtil
