#include "registration/product_nodes.h"

#include "base/no_case.h"
#include "registration/com_nodes.h"

namespace orvex {

namespace {

bool BuildFrom(std::vector<std::string>* path, const std::string& text) {
  *path = SfxRegNode::SplitPath(text);
  return !path->empty();
}

}  // namespace

bool SfxRegNode_ExcelComAddIn::BuildPath() {
  path_.clear();
  if (SplitPath(prog_id).empty()) return false;
  return BuildFrom(&path_, "Software\\Microsoft\\Office\\Excel\\Addins\\" + prog_id);
}

bool SfxRegNode_ExcelComAddIn::Register(bool per_user, bool view64) {
  if (prog_id.empty() || !PlaceNode(this, per_user, view64)) return false;
  bool ok = WriteString("Description", description);
  ok = WriteString("FriendlyName", friendly_name) && ok;
  ok = WriteDword("LoadBehavior", load_behavior) && ok;
  return ok;
}

bool SfxRegNode_MyProductInfo::BuildPath() {
  return BuildFrom(&path_, "Software\\Orvex Data Services\\XLInfo");
}

bool SfxRegNode_MyProductInfo::Register(bool per_user_place, bool view64) {
  if (!PlaceNode(this, per_user_place, view64)) return false;
  bool ok = WriteString("Name", name);
  ok = WriteString("Path", path) && ok;
  ok = WriteDword("CU", per_user ? 1 : 0) && ok;
  ok = WriteDword("X64", x64 ? 1 : 0) && ok;
  return ok;
}

std::string InstallerKeyPath(const std::string& product) {
  return "Software\\Orvex Data Services\\Installer\\" + product;
}

bool SfxRegNode_InstallerInfo::BuildPath() {
  return BuildFrom(&path_, key_path_);
}

bool SfxRegNode_InstallerInfo::WriteTimeStamp(bool per_user, bool view64) {
  return PlaceNode(this, per_user, view64) && WriteString("TimeStamp", time_stamp);
}

bool SfxRegNode_InstallerInfo::ReadTimeStamp(bool per_user, bool view64) {
  time_stamp.clear();
  SetLocation(per_user ? RegRoot::kCurrentUser : RegRoot::kLocalMachine, view64);
  return Exists() && ReadString("TimeStamp", &time_stamp);
}

namespace {

// Calls `found` for each place of the roots asked for where `info` names `name`; stops
// when it answers false.
template <typename Found>
void ForEachNamingPlace(SfxRegNode_MyProductInfo* info, const std::string& name, bool machine,
                        bool user, Found found) {
  for (const RegRoot root : {RegRoot::kLocalMachine, RegRoot::kCurrentUser}) {
    if (!(root == RegRoot::kLocalMachine ? machine : user)) continue;
    for (const bool view64 : {true, false}) {
      info->SetLocation(root, view64);
      std::string named;
      if (!info->Exists() || !info->ReadString("Name", &named) || !EqualsNoCase(named, name)) {
        continue;
      }
      if (!found()) return;
    }
  }
}

}  // namespace

bool ProductInfoNames(SfxRegNode_MyProductInfo* info, const std::string& name,
                      bool all_users_only) {
  bool named = false;
  ForEachNamingPlace(info, name, true, !all_users_only, [&named] { return !(named = true); });
  return named;
}

bool RemoveProductInfo(SfxRegNode_MyProductInfo* info, const std::string& name,
                       bool per_user_only) {
  bool ok = true;
  ForEachNamingPlace(info, name, !per_user_only, true, [&] {
    ok = info->DeleteTree() && ok;
    return true;
  });
  return ok;
}

}  // namespace orvex
