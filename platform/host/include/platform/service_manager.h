#pragma once
// The system's service manager, one thin call per operation. Windows: the Service
// Control Manager of the local machine (full access). POSIX: systemd, a service being
// the unit "<lowercase name>.service" in /etc/systemd/system controlled through
// systemctl (its output discarded); where no systemd runs or the caller is not root
// the manager cannot be opened. Every object is released by its Close call.
#include <string>

namespace orvex::platform {

struct ServiceManagerObject;
struct ServiceObject;

// Null without administrator rights or without a service manager.
ServiceManagerObject* OpenServiceManager();
void CloseServiceManager(ServiceManagerObject* manager);

// Null when no service of that name exists (or it cannot be opened).
ServiceObject* OpenServiceEntry(ServiceManagerObject* manager, const std::string& name);

// Registers an own-process service that starts automatically and runs as the system
// account, with `executable_path` as its command: quoted (Windows) or as one quoted
// word of the unit (POSIX, mode 0644; a control character in it is refused). Null when it exists,
// is still marked for deletion, or cannot be created. The service is not started.
ServiceObject* CreateServiceEntry(ServiceManagerObject* manager, const std::string& executable_path,
                                  const std::string& name, const std::string& display_name);
void CloseServiceEntry(ServiceObject* service);

// Rewrites an existing registration in place with what CreateServiceEntry would
// register (Windows: ChangeServiceConfigA; POSIX: the unit file replaced whole, then
// daemon-reload). A running service keeps running until it is stopped. False when the
// service is marked for deletion or cannot be changed.
bool UpdateServiceEntry(ServiceObject* service, const std::string& executable_path,
                        const std::string& display_name);

// Whether the name is still taken: the service exists, possibly only marked for
// deletion (POSIX: its unit file is there, or the unit still runs without it).
bool ServiceNameInUse(ServiceManagerObject* manager, const std::string& name);

// Whether the status could be read and the service is running.
bool ServiceIsRunning(ServiceObject* service);

// Start and stop requests; true when the manager accepted them. Nothing is awaited. A
// stop of a service that is not running is rejected.
bool RequestServiceStart(ServiceObject* service);
bool RequestServiceStop(ServiceObject* service);

// Deletes the registration; a running service is only marked for deletion and goes
// when it stops. True when the manager accepted the deletion.
bool DeleteServiceEntry(ServiceObject* service);

}  // namespace orvex::platform
