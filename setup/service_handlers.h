#pragma once
// Legacy commands over the bus's "Vantel" service; each answers 1 for yes or an
// accepted request and 0 otherwise, shown as "Status: " + result.
#include <string>

#include "setup/argv_handler.h"

namespace orvex {

// A service command without argument: its answer is one call of the service control.
class ServiceQueryHandler : public RtdSetupArgvHandlerBase {
 public:
  using Operation = bool (*)(const std::string& name);
  ServiceQueryHandler(std::string name, std::string description, Operation operation);

 protected:
  int Run(const std::string& argument) override;

 private:
  Operation operation_;
};

// bsInstalled: the service can be opened.
class TestVantelSvcInstalledHandler final : public ServiceQueryHandler {
 public:
  TestVantelSvcInstalledHandler();
};

// bsInstall <svcPath>: installs the service with the argument as its executable.
class VantelSvcInstallHandler final : public RtdSetupArgvHandlerBase {
 public:
  VantelSvcInstallHandler();

 protected:
  int Run(const std::string& argument) override;
};

// bsUninstall: stops and deletes the service.
class VantelSvcUninstallHandler final : public ServiceQueryHandler {
 public:
  VantelSvcUninstallHandler();
};

// bsRunning: the service's state is running.
class TestVantelSvcRunningHandler final : public ServiceQueryHandler {
 public:
  TestVantelSvcRunningHandler();
};

// bsStart: the start request was accepted.
class VantelSvcStartHandler final : public ServiceQueryHandler {
 public:
  VantelSvcStartHandler();
};

// bsStop: the stop request was accepted.
class VantelSvcStopHandler final : public ServiceQueryHandler {
 public:
  VantelSvcStopHandler();
};

}  // namespace orvex
