#pragma once
// The bus's service ("Vantel") in the system's service manager. Every operation opens
// the manager with full access, makes its calls, closes every handle and answers a
// plain yes or no; nothing waits for a state change and nothing is printed. Without
// administrator rights (POSIX: without root, or where no systemd runs) every
// operation answers false. Any thread.
#include <string>

namespace orvex::system {

inline constexpr char kServiceName[] = "Vantel";
inline constexpr char kServiceDisplayName[] = "Orvex Data Services RTD Bus";

// The service exists (can be opened).
bool IsServiceInstalled(const std::string& name);

// The service exists and its current state is running.
bool IsServiceRunning(const std::string& name);

// The start request was accepted; the start is not awaited.
bool StartServiceByName(const std::string& name);

// The stop control was accepted (false for a stopped service); not awaited.
bool StopServiceByName(const std::string& name);

// Registers `executable_path` (quoted) as an automatic own-process service running as
// the system account; it is not started. An existing service of that name is asked to
// stop (not awaited, answer ignored) and its registration changed in place; one that
// is only marked for deletion is waited for (up to 15 s) and then created anew. True
// when the registration is in place; false leaves an existing one as it was.
bool InstallService(const std::string& executable_path, const std::string& name,
                    const std::string& display_name);

// Requests a stop of `name` (answer ignored) and deletes it. True when the service
// existed and the deletion succeeded (a running service is only marked for deletion).
// False for a missing service, without any stop control sent.
bool UninstallService(const std::string& name = kServiceName);

}  // namespace orvex::system
