#pragma once
#include <string>

#include "registration/com_addin.h"
#include "registration/installation_stamp.h"
#include "registration/program_entries.h"
#include "registration/rtd_server_node.h"
#include "registration/xll_addin.h"

// The RTD product ("Oxlade"): the KelRTD server, the KelRTD ribbon add-in, the KelRTD
// XLL, the bus program and the product information key. Built fresh for every flow
// step; `folder` is the installation folder, `is64` chooses the 64-bit files.
namespace orvex {

class OxladeProduct {
 public:
  OxladeProduct(std::string folder, bool is64);

  // Finds every component file of that bitness and "Corvane.exe" below the folder;
  // true when all were found.
  bool LocateFiles();
  // Fails before writing anything when the folder is empty or a file is missing.
  // Otherwise registers the server and the ribbon (HKEY_CURRENT_USER or
  // HKEY_LOCAL_MACHINE as chosen), enables the XLL for the current user, writes the
  // product information and the time stamp. True when all but the time stamp succeeded.
  // Without `user_parts` (an all-users registration whose per-user half another
  // process does as the user) the XLL, which is the current user's, is left out.
  bool Register(bool per_user, bool view64, bool user_parts = true);
  bool IsRegisteredAnywhere();
  // The parts no other product shares (not the KelRTD server and XLL) registered
  // anywhere: the information key naming this product, the ribbon, the bus entry.
  bool OwnPartsRegistered();
  // The same tests restricted to HKEY_LOCAL_MACHINE (the XLL is not tested).
  bool IsRegisteredForAllUsers();
  // Removes every part from every place and both installation keys; with
  // per_user_only only the current user's registrations and installation key, so that
  // an all-users installation stays intact. With keep_shared the KelRTD server and
  // XLL stay (the TavXL product registers them too). True when all succeeded.
  bool Unregister(bool per_user_only, bool keep_shared = false);
  bool TimeStampsEqual(bool view64);

 private:
  std::string folder_;
  bool is64_;
  SfxRegNode_MyProductInfo info_;
  SfxRegNode_KelRTDServer server_;
  SfxComAddIn ribbon_;
  SfxRegNode_KelRTDAddIn xll_;
  SfxRegNode_Vantel bus_;
  InstallationStamp stamp_;
};

}  // namespace orvex
