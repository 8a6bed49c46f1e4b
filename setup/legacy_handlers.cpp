#include "setup/legacy_handlers.h"

#include "setup/excel_handlers.h"
#include "setup/program_handlers.h"
#include "setup/service_handlers.h"

namespace orvex {

namespace {

template <typename... Handlers>
std::vector<std::unique_ptr<ArgvHandler>> Make() {
  std::vector<std::unique_ptr<ArgvHandler>> handlers;
  (handlers.push_back(std::make_unique<Handlers>()), ...);
  return handlers;
}

}  // namespace

std::vector<std::unique_ptr<ArgvHandler>> MakeLegacyHandlers() {
  return Make<InstallXllHandler, UninstallXllHandler, TestXllHandler, QuitExcelHandler,
              CountExcelHandler, ExcelVersionHandler, ExcelArchHandler, ExcelPathHandler,
              TestDravikHandler, QuitDravikHandler, TestCorvaneHandler, QuitCorvaneHandler,
              TestTavBusWAppHandler, QuitTavBusWAppHandler, TestVantelSvcInstalledHandler,
              VantelSvcInstallHandler, VantelSvcUninstallHandler, TestVantelSvcRunningHandler,
              VantelSvcStartHandler, VantelSvcStopHandler, TestTavPHandler, QuitTavPHandler>();
}

}  // namespace orvex
