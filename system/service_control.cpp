// The "Vantel" service through the platform's service manager. Each operation opens
// the manager and the service for its one call and closes both before answering.
#include "system/service_control.h"

#include <cstdint>

#include "platform/clock.h"
#include "platform/service_manager.h"

namespace orvex::system {

namespace {

using platform::ServiceManagerObject;
using platform::ServiceObject;

// How long an install waits for a service marked for deletion to go.
constexpr uint32_t kDeletionWaitMs = 15000;
constexpr uint32_t kDeletionPollMs = 100;

// Opens the manager and the service, runs `call` on the service and closes both;
// false when either cannot be opened.
template <typename Call>
bool WithService(const std::string& name, Call call) {
  ServiceManagerObject* manager = platform::OpenServiceManager();
  if (manager == nullptr) return false;
  ServiceObject* service = platform::OpenServiceEntry(manager, name);
  bool answer = false;
  if (service != nullptr) {
    answer = call(service);
    platform::CloseServiceEntry(service);
  }
  platform::CloseServiceManager(manager);
  return answer;
}

// Stops (without waiting, answer ignored) and deletes `name`. The service is opened
// anew for each step, as each step may be the last one to find it.
bool RemoveService(ServiceManagerObject* manager, const std::string& name) {
  ServiceObject* service = platform::OpenServiceEntry(manager, name);
  if (service == nullptr) return false;
  platform::CloseServiceEntry(service);
  if ((service = platform::OpenServiceEntry(manager, name)) != nullptr) {
    platform::RequestServiceStop(service);
    platform::CloseServiceEntry(service);
  }
  service = platform::OpenServiceEntry(manager, name);
  if (service == nullptr) return false;
  const bool deleted = platform::DeleteServiceEntry(service);
  platform::CloseServiceEntry(service);
  return deleted;
}

}  // namespace

bool IsServiceInstalled(const std::string& name) {
  return WithService(name, [](ServiceObject*) { return true; });
}

bool IsServiceRunning(const std::string& name) {
  return WithService(name,
                     [](ServiceObject* service) { return platform::ServiceIsRunning(service); });
}

bool StartServiceByName(const std::string& name) {
  return WithService(name,
                     [](ServiceObject* service) { return platform::RequestServiceStart(service); });
}

bool StopServiceByName(const std::string& name) {
  return WithService(name,
                     [](ServiceObject* service) { return platform::RequestServiceStop(service); });
}

bool InstallService(const std::string& executable_path, const std::string& name,
                    const std::string& display_name) {
  ServiceManagerObject* manager = platform::OpenServiceManager();
  if (manager == nullptr) return false;
  // An existing registration is stopped and changed in place: deleting it first would
  // leave a running service without one while the new creation fails.
  if (ServiceObject* old = platform::OpenServiceEntry(manager, name)) {
    platform::RequestServiceStop(old);  // answer ignored: it may not run
    const bool updated = platform::UpdateServiceEntry(old, executable_path, display_name);
    platform::CloseServiceEntry(old);
    if (updated) {
      platform::CloseServiceManager(manager);
      return true;
    }
  }
  // Marked for deletion (POSIX: still running without its unit file): it goes once
  // it has stopped; wait for that, bounded, then register anew.
  for (uint32_t waited = 0; waited < kDeletionWaitMs && platform::ServiceNameInUse(manager, name);
       waited += kDeletionPollMs) {
    platform::SleepMs(kDeletionPollMs);
  }
  ServiceObject* service =
      platform::CreateServiceEntry(manager, executable_path, name, display_name);
  const bool created = service != nullptr;
  platform::CloseServiceEntry(service);
  platform::CloseServiceManager(manager);
  return created;
}

bool UninstallService(const std::string& name) {
  ServiceManagerObject* manager = platform::OpenServiceManager();
  if (manager == nullptr) return false;
  const bool removed = RemoveService(manager, name);
  platform::CloseServiceManager(manager);
  return removed;
}

}  // namespace orvex::system
