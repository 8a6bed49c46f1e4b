#pragma once
#include <cstdint>
#include <string>
#include <utility>

#include "registry/reg_node.h"

// Registry nodes of the product itself: its Excel COM add-in entry, the product
// information key and the installation time-stamp key. Register(per_user, view64)
// chooses the place (HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE, view), creates the key
// and answers true only when every write succeeded.
namespace orvex {

// "Software\Microsoft\Office\Excel\Addins\<ProgID>": Excel loads the COM add-in.
class SfxRegNode_ExcelComAddIn : public SfxRegNode {
 public:
  bool BuildPath() override;
  // Writes "Description", "FriendlyName" (REG_SZ) and "LoadBehavior" (REG_DWORD).
  bool Register(bool per_user, bool view64);

  std::string prog_id;
  std::string description;
  std::string friendly_name;
  uint32_t load_behavior = 0;
};

// "Software\Orvex Data Services\XLInfo": name, folder and scope of the RTD product.
class SfxRegNode_MyProductInfo : public SfxRegNode {
 public:
  bool BuildPath() override;
  // Writes "Name", "Path", then "CU" and "X64" as REG_DWORD 1 or 0.
  bool Register(bool per_user, bool view64);

  std::string name;
  std::string path;
  bool per_user = false;
  bool x64 = false;
};

// Whether the information key `info` names the product `name` (any case) in any place:
// all users, and per user unless `all_users_only`; both views.
bool ProductInfoNames(SfxRegNode_MyProductInfo* info, const std::string& name, bool all_users_only);
// Removes the information key `info` from each place (all users unless
// `per_user_only`, per user; both views) where its "Name" is `name` (any case); a key
// naming another product stays, since both products share it. True when every such
// delete succeeded.
bool RemoveProductInfo(SfxRegNode_MyProductInfo* info, const std::string& name, bool per_user_only);

// "Software\Orvex Data Services\Installer\<product>" with the installation's
// "TimeStamp": written for all users at installation, copied per user at the user's
// registration, compared for equality only.
class SfxRegNode_InstallerInfo : public SfxRegNode {
 public:
  explicit SfxRegNode_InstallerInfo(std::string key_path) : key_path_(std::move(key_path)) {}
  bool BuildPath() override;
  // Writes time_stamp as "TimeStamp" into the place chosen by the flags, creating
  // the key; true when written.
  bool WriteTimeStamp(bool per_user, bool view64);
  // Reads "TimeStamp" of the given place into time_stamp (empty when missing);
  // true when it was read.
  bool ReadTimeStamp(bool per_user, bool view64);

  std::string time_stamp;

 private:
  std::string key_path_;
};

// "Software\Orvex Data Services\Installer\" + product.
std::string InstallerKeyPath(const std::string& product);

}  // namespace orvex
