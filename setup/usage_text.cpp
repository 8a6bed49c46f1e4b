#include "setup/usage_text.h"

#include <array>
#include <vector>

namespace orvex {

namespace {

// Stands for the folder line, which names the program.
constexpr const char* kFolderLine = nullptr;
constexpr const char* kAllUsersLine = "/A => for all users - otherwise for current user only";

struct UsageEntry {
  const char* syntax;
  std::vector<const char*> lines;
};

const std::array<UsageEntry, 21>& UsageEntries() {
  static const std::array<UsageEntry, 21> entries{{
      {" TavXL [/A] [/XAR] [<folder>]",
       {"Registers existing TavXL components", kAllUsersLine,
        "/XAR => do not create auto-run entry", kFolderLine}},
      {" RTD [/A] [<folder>]", {"Registers existing RTD components", kAllUsersLine, kFolderLine}},
      {" RegXLL [<folder>]", {"Registers known XLL components", kFolderLine}},
      {" CleanXLL ", {"Unregisters known XLL components - current user only", kFolderLine}},
      {" STOP", {"Stops any running component (bus, publisher, excel)"}},
      {" DROP", {"Unregisers any registered component (TavXL, RTD)"}},
      {" CLEAN", {"Uninstalls any product & Unregisters any registered component"}},
      {" RunCU [<folder>]", {"Runs TavXL CU components", kFolderLine}},
      {" RunAU [<folder>]", {"Runs TavXL AU components", kFolderLine}},
      {" CleanAU", {"Cleans TavXL AU components"}},
      {" CleanCU", {"Cleans TavXL CU components"}},
      {" RTDRunCU", {"Cleans RTD CU components"}},
      {" RTDRunAU", {"Cleans RTD AU components"}},
      {" RTDClean", {"Cleans RTD components"}},
      {" RTDCleanAU", {"Cleans RTD AU components"}},
      {" RTDCleanCU", {"Cleans RTD CU components"}},
      {" ConfigFile CU/AU 4.0.4.247 MSI_ALL/MSI_NA/EXE_ALL/EXE_NA/EXE_MIX", {"Create config file"}},
      {" UnConfigFile", {"Removing config file"}},
      {" TLAdd [<folder>]", {"Adds folder to Excel trusted locations", kFolderLine}},
      {" TLRemove [<folder>]", {"Removes folder from Excel trusted locations", kFolderLine}},
      {" TLCheck [<folder>]", {"Checks if folder is in Excel trusted locations", kFolderLine}},
  }};
  return entries;
}

}  // namespace

std::string SimplifiedUsageText(std::string_view stem) {
  std::string text;
  for (const auto& entry : UsageEntries()) {
    text.append("\n\t").append(stem).append(entry.syntax);
    for (const char* line : entry.lines) {
      text += "\n\t\t";
      if (line == kFolderLine) {
        text.append("<folder> => root folder. Default is ").append(stem).append(" location");
      } else {
        text += line;
      }
    }
  }
  return text;
}

}  // namespace orvex
