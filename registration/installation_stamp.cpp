#include "registration/installation_stamp.h"

#include <ctime>

namespace orvex {

InstallationStamp::InstallationStamp(const std::string& product)
    : key_path_(InstallerKeyPath(product)) {}

std::string InstallationStamp::Now() {
  const std::time_t now = std::time(nullptr);
  char text[80] = {};
  const std::tm* local = std::localtime(&now);
  if (!local || std::strftime(text, sizeof(text), "%Y-%m-%d.%X", local) == 0) return "";
  return text;
}

std::string InstallationStamp::ReadValue(bool per_user, bool view64) {
  SfxRegNode_InstallerInfo node(key_path_);
  node.ReadTimeStamp(per_user, view64);
  return node.time_stamp;
}

bool InstallationStamp::Write(bool per_user, bool view64) {
  SfxRegNode_InstallerInfo node(key_path_);
  node.time_stamp = per_user ? ReadValue(false, view64) : Now();
  return node.WriteTimeStamp(per_user, view64);
}

bool InstallationStamp::Equal(bool view64) {
  return ReadValue(false, view64) == ReadValue(true, view64);
}

bool InstallationStamp::RemoveAllUsers() {
  SfxRegNode_InstallerInfo node(key_path_);
  return node.RemoveEverywhere();
}

bool InstallationStamp::RemoveCurrentUser() {
  bool ok = true;
  for (bool view64 : {true, false}) {
    SfxRegNode_InstallerInfo node(key_path_);
    node.SetLocation(RegRoot::kCurrentUser, view64);
    ok = node.DeleteTree() && ok;
  }
  return ok;
}

}  // namespace orvex
