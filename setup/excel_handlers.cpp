#include "setup/excel_handlers.h"

#include "excel/excel_addin.h"
#include "excel/excel_discovery.h"

namespace orvex {

namespace {

constexpr const char* kTrimmed = " \t\r\n";

// Runs `first` then `second` on every piece; -1 when some `second` failed, else 1.
template <typename First, typename Second>
int ForEachPiece(const std::string& argument, std::string* output, First first, Second second) {
  int result = 1;
  for (const std::string& piece : SplitAddInPaths(argument)) {
    first(piece, output);
    if (second(piece, output) < 0) result = -1;
  }
  return result;
}

}  // namespace

std::vector<std::string> SplitAddInPaths(const std::string& argument) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start <= argument.size()) {
    size_t end = argument.find('|', start);
    if (end == std::string::npos) end = argument.size();
    const std::string piece = argument.substr(start, end - start);
    const size_t first = piece.find_first_not_of(kTrimmed);
    if (first != std::string::npos) {
      pieces.push_back(piece.substr(first, piece.find_last_not_of(kTrimmed) - first + 1));
    }
    start = end + 1;
  }
  return pieces;
}

InstallXllHandler::InstallXllHandler()
    : RtdSetupArgvHandlerBase("xllInstall", "<addInPath>", "Installs Excel add-in") {}

int InstallXllHandler::Run(const std::string& argument) {
  return ForEachPiece(argument, &output_, SfExcelUtil::RegisterAddIn, SfExcelUtil::EnableAddIn);
}

UninstallXllHandler::UninstallXllHandler()
    : RtdSetupArgvHandlerBase("xllUninstall", "<addInName>", "Uninstalls Excel add-in") {}

int UninstallXllHandler::Run(const std::string& argument) {
  return ForEachPiece(argument, &output_, SfExcelUtil::UnregisterAddIn, SfExcelUtil::DisableAddIn);
}

TestXllHandler::TestXllHandler()
    : RtdSetupArgvHandlerBase("xllTest", "<addInName>", "Is Excel add-in installed") {}

int TestXllHandler::Run(const std::string& argument) {
  std::string scratch;
  return SfExcelUtil::IsAddInEnabled(argument, &scratch) > 0 ? 1 : 0;
}

ExcelVersionHandler::ExcelVersionHandler()
    : RtdSetupArgvHandlerBase("xlVer", "", "Gets excel version") {}

int ExcelVersionHandler::Run(const std::string&) {
  const uint32_t version = SfExcelUtil::GetExcelVersionNumber();
  output_ += "Excel Version = " + std::to_string(version);
  return static_cast<int>(version);
}

ExcelArchHandler::ExcelArchHandler()
    : RtdSetupArgvHandlerBase("xlArch", "", "Gets excel version") {}

int ExcelArchHandler::Run(const std::string&) {
  std::string text;
  const int bitness = SfExcelUtil::GetExcelBitnessFromAppPaths(&text);
  output_ += bitness == 0 ? std::string("?") : text;
  return bitness;
}

ExcelPathHandler::ExcelPathHandler()
    : RtdSetupArgvHandlerBase("xlPath", "", "Gets excel executable path") {}

int ExcelPathHandler::Run(const std::string&) {
  std::string path;
  SfExcelUtil::GetExcelPathUnquoted(&path);
  output_ += path.empty() ? std::string("?") : path;
  return path.empty() ? 0 : 1;
}

}  // namespace orvex
