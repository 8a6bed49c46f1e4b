// The service manager on Windows: the Service Control Manager (ADVAPI32).
#include "platform/service_manager.h"

#include <windows.h>

namespace orvex::platform {

// The handles themselves stand behind the opaque types.
struct ServiceManagerObject {
  SC_HANDLE handle;
};
struct ServiceObject {
  SC_HANDLE handle;
};

ServiceManagerObject* OpenServiceManager() {
  SC_HANDLE handle = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  return handle == nullptr ? nullptr : new ServiceManagerObject{handle};
}

void CloseServiceManager(ServiceManagerObject* manager) {
  if (manager == nullptr) return;
  CloseServiceHandle(manager->handle);
  delete manager;
}

ServiceObject* OpenServiceEntry(ServiceManagerObject* manager, const std::string& name) {
  if (manager == nullptr) return nullptr;
  SC_HANDLE handle = OpenServiceA(manager->handle, name.c_str(), SERVICE_ALL_ACCESS);
  return handle == nullptr ? nullptr : new ServiceObject{handle};
}

namespace {

// Unquoted, "C:\Orvex Tools\Bus\Corvane.exe" would first be tried as C:\Orvex.exe.
std::string QuotedCommand(const std::string& executable_path) {
  const bool quoted = executable_path.size() >= 2 && executable_path.front() == '"' &&
                      executable_path.back() == '"';
  return quoted ? executable_path : '"' + executable_path + '"';
}

}  // namespace

ServiceObject* CreateServiceEntry(ServiceManagerObject* manager, const std::string& executable_path,
                                  const std::string& name, const std::string& display_name) {
  if (manager == nullptr || executable_path.empty()) return nullptr;
  const std::string command = QuotedCommand(executable_path);
  SC_HANDLE handle =
      CreateServiceA(manager->handle, name.c_str(), display_name.c_str(), SERVICE_ALL_ACCESS,
                     SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                     command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  return handle == nullptr ? nullptr : new ServiceObject{handle};
}

void CloseServiceEntry(ServiceObject* service) {
  if (service == nullptr) return;
  CloseServiceHandle(service->handle);
  delete service;
}

bool UpdateServiceEntry(ServiceObject* service, const std::string& executable_path,
                        const std::string& display_name) {
  if (service == nullptr || executable_path.empty()) return false;
  const std::string command = QuotedCommand(executable_path);
  // Empty group and dependency list, the system account: what a new one would get.
  return ChangeServiceConfigA(service->handle, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                              SERVICE_ERROR_NORMAL, command.c_str(), "", nullptr, "\0",
                              "LocalSystem", "", display_name.c_str()) != 0;
}

bool ServiceNameInUse(ServiceManagerObject* manager, const std::string& name) {
  if (manager == nullptr) return false;
  SC_HANDLE handle = OpenServiceA(manager->handle, name.c_str(), SERVICE_QUERY_STATUS);
  if (handle != nullptr) {
    CloseServiceHandle(handle);
    return true;
  }
  return GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
}

bool ServiceIsRunning(ServiceObject* service) {
  SERVICE_STATUS status = {};
  return service != nullptr && QueryServiceStatus(service->handle, &status) &&
         status.dwCurrentState == SERVICE_RUNNING;
}

bool RequestServiceStart(ServiceObject* service) {
  return service != nullptr && StartServiceA(service->handle, 0, nullptr) != 0;
}

bool RequestServiceStop(ServiceObject* service) {
  SERVICE_STATUS status = {};
  return service != nullptr && ControlService(service->handle, SERVICE_CONTROL_STOP, &status) != 0;
}

bool DeleteServiceEntry(ServiceObject* service) {
  return service != nullptr && DeleteService(service->handle) != 0;
}

}  // namespace orvex::platform
