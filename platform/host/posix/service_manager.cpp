// The service manager on POSIX: systemd units controlled through systemctl.
#include "platform/service_manager.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <vector>

#include "platform/file_system.h"
#include "service_unit.h"

extern char** environ;

namespace orvex::platform {

struct ServiceManagerObject {};
struct ServiceObject {
  std::string unit;       // "vantel.service"
  std::string unit_file;  // its file in the unit folder
};

namespace {

constexpr char kUnitFolder[] = "/etc/systemd/system/";

// Runs systemctl with its output discarded; true when it exited with 0.
bool Systemctl(const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>("systemctl")};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, "systemctl", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Service names become unit names: lower case, and only characters a unit name and a
// file name both take, so a name can never address another folder.
bool UnitFor(const std::string& name, ServiceObject* service) {
  if (name.empty()) return false;
  std::string unit;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (!std::isalnum(u) && c != '-' && c != '_') return false;
    unit += static_cast<char>(std::tolower(u));
  }
  service->unit = unit + ".service";
  service->unit_file = kUnitFolder + service->unit;
  return true;
}

bool IsActive(const ServiceObject& service) {
  return Systemctl({"is-active", "--quiet", service.unit});
}

}  // namespace

ServiceManagerObject* OpenServiceManager() {
  // Full access to the manager is the administrator's; /run/systemd/system exists
  // exactly when systemd is the running init (sd_booted).
  struct stat info;
  if (geteuid() != 0 || stat("/run/systemd/system", &info) != 0 || !S_ISDIR(info.st_mode)) {
    return nullptr;
  }
  return new ServiceManagerObject;
}

void CloseServiceManager(ServiceManagerObject* manager) {
  delete manager;
}

ServiceObject* OpenServiceEntry(ServiceManagerObject* manager, const std::string& name) {
  auto* service = new ServiceObject;
  struct stat info;
  if (manager == nullptr || !UnitFor(name, service) ||
      stat(service->unit_file.c_str(), &info) != 0) {
    delete service;
    return nullptr;
  }
  return service;
}

ServiceObject* CreateServiceEntry(ServiceManagerObject* manager, const std::string& executable_path,
                                  const std::string& name, const std::string& display_name) {
  auto* service = new ServiceObject;
  // A unit whose file is gone but which still runs is the counterpart of a service
  // marked for deletion: refused, as the Windows manager refuses it.
  bool ok = manager != nullptr && UnitFor(name, service) && !IsActive(*service);
  std::string text;
  ok = ok && ServiceUnitText(executable_path, display_name, &text);
  ok = ok && WriteServiceUnitFile(service->unit_file, text);
  ok = ok && Systemctl({"daemon-reload"});
  ok = ok && Systemctl({"enable", service->unit});
  if (!ok) {
    delete service;
    return nullptr;
  }
  return service;
}

void CloseServiceEntry(ServiceObject* service) {
  delete service;
}

bool UpdateServiceEntry(ServiceObject* service, const std::string& executable_path,
                        const std::string& display_name) {
  std::string text;
  return service != nullptr && ServiceUnitText(executable_path, display_name, &text) &&
         ReplaceServiceUnitFile(service->unit_file, text) && Systemctl({"daemon-reload"}) &&
         Systemctl({"enable", service->unit});
}

bool ServiceNameInUse(ServiceManagerObject* manager, const std::string& name) {
  ServiceObject service;
  struct stat info;
  return manager != nullptr && UnitFor(name, &service) &&
         (lstat(service.unit_file.c_str(), &info) == 0 || IsActive(service));
}

bool ServiceIsRunning(ServiceObject* service) {
  return service != nullptr && IsActive(*service);
}

bool RequestServiceStart(ServiceObject* service) {
  return service != nullptr && Systemctl({"start", "--no-block", service->unit});
}

bool RequestServiceStop(ServiceObject* service) {
  return service != nullptr && IsActive(*service) &&
         Systemctl({"stop", "--no-block", service->unit});
}

bool DeleteServiceEntry(ServiceObject* service) {
  if (service == nullptr) return false;
  Systemctl({"disable", service->unit});
  const bool removed = unlink(service->unit_file.c_str()) == 0;
  Systemctl({"daemon-reload"});
  return removed;
}

}  // namespace orvex::platform
