#pragma once
// Legacy commands over Excel's add-in list and Excel's registration.
#include <string>
#include <vector>

#include "setup/argv_handler.h"

namespace orvex {

// The pieces of a "|"-separated path list, each trimmed of blanks, tabs, carriage
// returns and line feeds; empty pieces are dropped.
std::vector<std::string> SplitAddInPaths(const std::string& argument);

// xllInstall <addInPath>: registers then enables each path; 1 when no enable failed,
// else -1. Every path is processed, also after a failure.
class InstallXllHandler final : public RtdSetupArgvHandlerBase {
 public:
  InstallXllHandler();

 protected:
  int Run(const std::string& argument) override;
};

// xllUninstall <addInName>: unregisters then disables each name; 1 when no disable
// failed, else -1.
class UninstallXllHandler final : public RtdSetupArgvHandlerBase {
 public:
  UninstallXllHandler();

 protected:
  int Run(const std::string& argument) override;
};

// xllTest <addInName>: 1 when the add-in is enabled, else 0.
class TestXllHandler final : public RtdSetupArgvHandlerBase {
 public:
  TestXllHandler();

 protected:
  int Run(const std::string& argument) override;
};

// xlVer: Excel's major version (0 when not registered), as "Excel Version = n".
class ExcelVersionHandler final : public RtdSetupArgvHandlerBase {
 public:
  ExcelVersionHandler();

 protected:
  int Run(const std::string& argument) override;
};

// xlArch: bitness from Excel's App Paths entry (64, 32, 0 or -1) and its text.
class ExcelArchHandler final : public RtdSetupArgvHandlerBase {
 public:
  ExcelArchHandler();

 protected:
  int Run(const std::string& argument) override;
};

// xlPath: Excel's executable path; 1 when known, else 0 and "?".
class ExcelPathHandler final : public RtdSetupArgvHandlerBase {
 public:
  ExcelPathHandler();

 protected:
  int Run(const std::string& argument) override;
};

}  // namespace orvex
