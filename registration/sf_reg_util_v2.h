#pragma once
#include <functional>
#include <string>
#include <vector>

#include "registration/registration_scope.h"
#include "registry/reg_key_path.h"

// The registration flows of the setup program: the RTD product ("Oxlade") and the
// TavXL product, registered for the current user (CU) or for all users (AU), the
// log-on entries that complete an all-users installation for each user, and the
// removal, stop and test flows. Every flow answers a success flag, runs every step
// even after a failing one (so a partial registration is completed as far as
// possible), writes its log lines to the "DBG" trace stream and never throws except
// for allocation failure. Where a flow needs the bitness, it asks Excel (64-bit Excel:
// 64-bit files, 64-bit registry view). All calls come from the setup program's one
// thread; `folder` is the installation folder searched with its sub-folders.
namespace orvex::SfRegUtil_V2 {

// Registers the TavXL product (per user, or for all users with the COM parts under
// the installing user), installs the log-on entry "TavRunCU" or "TavRunAU" unless
// `no_auto_run`, then runs TavXL_RunCU or TavXL_RunAU. True when all three succeeded.
bool TavXL_Register(bool is64, const std::string& folder, bool per_user, bool no_auto_run);
// Registers the RTD product; per user it then installs "RTDRunCU" and starts the bus,
// for all users "RTDRunAU" and Rtd_RunAU. True when the registration, the log-on entry
// and the second call succeeded.
bool Rtd_Register(bool is64, const std::string& folder, bool per_user);

// Who does the per-user half of an all-users registration (the log-on step "RunAU" or
// "RTDRunAU" for `folder`): by default this process; with a runner set, the runner
// (an elevated run hands it to the invoking user) and its answer counts, and this
// process then writes none of the current user's parts (COM entries per user, XLLs in
// Excel's list) itself. Empty: reset.
using PerUserRunner = std::function<bool(const std::string& action, const std::string& folder)>;
void SetPerUserRunner(PerUserRunner runner);
// Log-on run of a per-user TavXL installation: register per user, start the watchdog.
bool TavXL_RunCU(const std::string& folder);
// Log-on run of an all-users TavXL installation: nothing when a per-user installation
// exists; on this user's first run (no "TavCleanAU", or the user's time stamp differs
// from the all-users one) re-registers per user and installs the cleanup entry with a
// copy of the program; then starts the watchdog.
bool TavXL_RunAU(const std::string& folder);
// Starts the bus ("Corvane.exe" found in the folder tree) with "/regXLL".
bool StartBus(const std::string& folder);
// Rtd_RunAU: TavXL_RunAU for the RTD product, ending with StartBus.
bool Rtd_RunAU(const std::string& folder);

// Removes a per-user installation of one product (true at once when "TavRunCU" /
// "RTDRunCU" is not registered): stops the programs, unregisters that product's parts
// per user with its log-on and cleanup entries. The KelRTD server and XLL, which both
// products register, stay while the other product is in use. True when the programs
// stopped and nothing of the product is left.
bool TavXL_CleanCU();
bool Rtd_CleanCU();
// Log-on cleanup after an all-users removal: true at once while a per-user
// installation of either product or the all-users installation is still registered;
// otherwise stops the programs and removes this product's registrations and log-on
// entries (shared parts as above), then the cleanup copy once no cleanup entry of
// either product needs it.
bool TavXL_CleanAU();
// As TavXL_CleanAU for the RTD product; `force` cleans even while "RTDRunAU" exists.
bool Rtd_CleanAU(bool force);
inline constexpr bool kCleanEvenIfInstalledAU = true;
inline constexpr bool kKeepInstalledAU = false;

// Closes Excel (waiting up to 15 s) and the bus, watchdog, publisher and TavBus
// programs; true when none of them is left running.
bool StopAll();
// Removes both products' registrations from every place plus the all-users log-on,
// both cleanup entries and this user's "TavRunCU"/"RTDRunCU"; true when neither
// product nor any all-users entry is left (IsRegistered(false) is false).
bool Drop();
// StopAll, then Drop; true when both succeeded.
bool Clean();
// Removes both products and the log-on entries of one kind (per user: the CU entries;
// otherwise the AU ones) plus both cleanup entries; true when IsRegistered(per_user)
// is false afterwards.
bool UnregisterAll(bool per_user);

// Either product registered anywhere, or a log-on entry of the kind registered.
bool IsRegistered(bool per_user);
// Either product anywhere, or any of the six setup-tool log-on entries.
bool IsAnythingRegistered();
// Either product's all-users parts, or "TavRunAU".
bool IsRegisteredForAllUsers();

// Enables the KelRTD and the TavXL XLL in Excel's load list, found below `folder` (the
// running program's folder when empty); true when both were enabled.
bool RegisterKnownXlls(const std::string& folder);
// Removes both XLLs (either bitness) from Excel's lists; true when neither is known.
bool UnregisterKnownXlls();

// Deletes the per-user cleanup copy "TavXLUserCleanup\TavRegW.exe" in the local
// application-data folder (a copy that is gone already counts as deleted). When the
// running program is that copy, schedules its own deletion instead, which ends the
// process with exit code 0; false when that cannot be scheduled.
bool DeleteCleanupCopy();

// The TavXL product's registry keys as they are present now, one per place found
// (all users before per user, 64-bit view before default view), for the diagnostics
// dump. Empty when nothing of the product is registered.
std::vector<SfRegKeyPath> TavXLRegistryEntries();

}  // namespace orvex::SfRegUtil_V2
