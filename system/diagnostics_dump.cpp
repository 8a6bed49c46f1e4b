#include "system/diagnostics_dump.h"

#include "excel/excel_discovery.h"
#include "platform/binary_type.h"
#include "threading/trace.h"

namespace orvex::system {

namespace {

const char* Bool(bool value) {
  return value ? "true" : "false";
}

const char* RootText(RegRoot root) {
  switch (root) {
    case RegRoot::kClassesRoot:
      return "HKCR";
    case RegRoot::kCurrentUser:
      return "HKCU";
    case RegRoot::kLocalMachine:
      return "HKLM";
    case RegRoot::kUsers:
      return "HKU";
    case RegRoot::kNone:
      return "NULL";
  }
  return "";
}

// 32 or 64 from the header of the executable at `path`, 0 for anything else.
int BitCount(const std::string& path) {
  platform::BinaryType type;
  if (path.empty() || !platform::ClassifyExecutable(path, &type)) return 0;
  if (type == platform::BinaryType::k32Bit) return 32;
  return type == platform::BinaryType::k64Bit ? 64 : 0;
}

void WriteLine(const std::string& text) {
  TraceStream& stream = TraceDbg();
  stream.Begin();
  stream.Append(text);
  stream.Flush();
}

}  // namespace

std::string RegistryEntryText(const SfRegKeyPath& key) {
  return std::string(RootText(key.root())) + (key.view64() ? "[X64]" : "") + ":\\" + key.path();
}

// Each field asks again, in the order of the lines, as the look-ups print their own
// trace lines while the text is assembled.
std::string ExcelDiagnosticsText() {
  namespace util = SfExcelUtil;
  std::string text = "\nExcel Installed: ";
  text += Bool(util::GetExcelVersionNumber() > 0);
  std::string path;
  util::GetExcelPathUnquoted(&path);
  text += "\nExcel Path     : " + path;
  text += "\nExcel Version  : " + std::to_string(util::GetExcelVersionNumber());
  text += "\nExcel RTD      : ";
  text += Bool(util::GetExcelVersionNumber() > 9);
  text += "\nExcel Ribbon   : ";
  text += Bool(util::GetExcelVersionNumber() > 11);
  util::GetExcelPathUnquoted(&path);
  text += "\nExcel Bit Count: " + std::to_string(BitCount(path));
  text += "\nExcel 64 Bit   : ";
  text += Bool(util::GetExcelBitness() == 64);
  std::string arch;
  util::GetExcelBitnessFromAppPaths(&arch);
  text += "\nExcel xlArch   : " + arch;
  return text;
}

std::string RegistryEntriesText(const std::vector<SfRegKeyPath>& entries) {
  std::string text = "\nTavXL Registry Entries BEGIN";
  for (const SfRegKeyPath& key : entries) text += "\n" + RegistryEntryText(key);
  return text + "\nTavXL Registry Entries END";
}

void DumpDiagnostics(const std::vector<SfRegKeyPath>& entries) {
  WriteLine(ExcelDiagnosticsText());
  WriteLine(RegistryEntriesText(entries));
}

}  // namespace orvex::system
