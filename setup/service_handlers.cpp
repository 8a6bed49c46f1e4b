#include "setup/service_handlers.h"

#include "system/service_control.h"

namespace orvex {

ServiceQueryHandler::ServiceQueryHandler(std::string name, std::string description,
                                         Operation operation)
    : RtdSetupArgvHandlerBase(std::move(name), "", std::move(description)), operation_(operation) {}

int ServiceQueryHandler::Run(const std::string&) {
  return operation_(system::kServiceName) ? 1 : 0;
}

TestVantelSvcInstalledHandler::TestVantelSvcInstalledHandler()
    : ServiceQueryHandler("bsInstalled", "Tests if Vantel service is installed",
                          system::IsServiceInstalled) {}

VantelSvcInstallHandler::VantelSvcInstallHandler()
    : RtdSetupArgvHandlerBase("bsInstall", "<svcPath>", "Installs Vantel service") {}

int VantelSvcInstallHandler::Run(const std::string& argument) {
  return system::InstallService(argument, system::kServiceName, system::kServiceDisplayName) ? 1
                                                                                             : 0;
}

VantelSvcUninstallHandler::VantelSvcUninstallHandler()
    : ServiceQueryHandler("bsUninstall", "Uninstalls Vantel service",
                          [](const std::string& name) { return system::UninstallService(name); }) {}

TestVantelSvcRunningHandler::TestVantelSvcRunningHandler()
    : ServiceQueryHandler("bsRunning", "Tests if Vantel service is running",
                          system::IsServiceRunning) {}

VantelSvcStartHandler::VantelSvcStartHandler()
    : ServiceQueryHandler("bsStart", "Attempts to start Vantel service",
                          system::StartServiceByName) {}

VantelSvcStopHandler::VantelSvcStopHandler()
    : ServiceQueryHandler("bsStop", "Attempts to stop Vantel service", system::StopServiceByName) {}

}  // namespace orvex
