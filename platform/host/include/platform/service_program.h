#pragma once
// The service side of the service manager: a program that runs as a service.
#include <cstdint>

namespace orvex::platform {

// Connects this process to the service manager as the service `name` and reports it
// running until the manager asks it to stop; it then reports "stop pending" for
// `stop_delay_ms` before it reports stopped and returns 0. Returns 1 when the process
// was not started by the service manager. Windows: StartServiceCtrlDispatcherA with a
// service main and a control handler. POSIX (a systemd unit of Type=simple): runs
// until SIGTERM, then waits the delay and returns 0.
int RunServiceUntilStopped(const char* name, uint32_t stop_delay_ms);

}  // namespace orvex::platform
