#pragma once
#include <string>
#include <vector>

#include "registration/com_addin.h"
#include "registration/installation_stamp.h"
#include "registration/program_entries.h"
#include "registration/rtd_server_node.h"
#include "registration/xll_addin.h"

// The TavXL product: the KelRTD and TavXL servers, the KelRTD XLL, the TavXL add-in
// bundle served by the TavXL XLL, and the publisher, TavBus and watchdog programs. Its
// COM parts are always registered for the current user, even in an all-users
// installation (each user completes it at log-on). Built fresh for every flow step.
namespace orvex {

class TavXLProduct {
 public:
  TavXLProduct(std::string folder, bool is64);

  // Finds every component file of that bitness and the three programs below the
  // folder; true when all were found.
  bool LocateFiles();
  // Fails before writing anything when the folder is empty or a file is missing.
  // Otherwise registers both servers and the bundle per user, enables both XLLs and
  // writes the time stamp (per_user: copied from the all-users one; otherwise the
  // all-users one). True when every step, the time stamp included, succeeded. Without
  // `user_parts` (an all-users registration whose per-user half another process does
  // as the user) only the files are found and the all-users time stamp is written.
  bool Register(bool per_user, bool view64, bool user_parts = true);
  bool IsRegisteredAnywhere();
  // The parts no other product shares (not the KelRTD server and XLL) registered
  // anywhere; the information key counts only when it names TavXL.
  bool OwnPartsRegistered();
  // The same tests restricted to HKEY_LOCAL_MACHINE (the KelRTD XLL is not tested).
  bool IsRegisteredForAllUsers();
  // Removes every part from every place and both installation keys; with
  // per_user_only only the current user's registrations and installation key, so that
  // an all-users installation stays intact. With keep_shared the KelRTD server and
  // XLL stay (the RTD product registers them too). True when all succeeded.
  bool Unregister(bool per_user_only, bool keep_shared = false);
  bool TimeStampsEqual(bool view64);
  // Paths of every key the product may write below a root (the versioned ProgID
  // included), for listing what is present.
  std::vector<std::string> KeyPaths();

 private:
  std::string folder_;
  bool is64_;
  SfxRegNode_MyProductInfo info_;
  SfxRegNode_KelRTDServer kel_server_;
  SfxRegNode_KelRTDAddIn kel_xll_;
  SfxRegNode_TavxlRtdServer tav_server_;
  SfxComAddIn tav_bundle_;
  SfxRegNode_XllAddIn tav_xll_;
  SfxRegNode_TavPublisher publisher_;
  SfxRegNode_TavBus tav_bus_;
  SfxRegNode_TavWatchdog watchdog_;
  InstallationStamp stamp_;
};

}  // namespace orvex
