#include "registration/tavxl_product.h"

namespace orvex {

namespace {
constexpr const char* kName = "TavXL";
}  // namespace

TavXLProduct::TavXLProduct(std::string folder, bool is64)
    : folder_(std::move(folder)),
      is64_(is64),
      tav_bundle_(SfxComAddIn::TavXLAddIn()),
      tav_xll_(SfxRegNode_XllAddIn::TavXL()),
      stamp_(kName) {}

bool TavXLProduct::LocateFiles() {
  bool ok = kel_server_.FindFile(folder_, is64_);
  ok = kel_xll_.FindFile(folder_, is64_) && ok;
  ok = tav_server_.FindFile(folder_, is64_) && ok;
  ok = tav_bundle_.FindFile(folder_, is64_) && ok;
  ok = tav_xll_.FindFile(folder_, is64_) && ok;
  ok = publisher_.FindExe(folder_) && ok;
  ok = tav_bus_.FindExe(folder_) && ok;
  ok = watchdog_.FindExe(folder_) && ok;
  return ok;
}

bool TavXLProduct::Register(bool per_user, bool view64, bool user_parts) {
  if (folder_.empty() || !LocateFiles()) return false;
  if (!user_parts) return stamp_.Write(per_user, view64);
  bool ok = kel_server_.Register(true, view64);
  ok = kel_xll_.EnableFound() && ok;
  ok = tav_server_.Register(true, view64) && ok;
  ok = tav_bundle_.Register(true, view64) && ok;
  ok = tav_xll_.EnableFound() && ok;
  ok = stamp_.Write(per_user, view64) && ok;
  return ok;
}

bool TavXLProduct::IsRegisteredAnywhere() {
  return OwnPartsRegistered() || kel_server_.IsRegisteredAnywhere() || kel_xll_.IsRegistered();
}

bool TavXLProduct::OwnPartsRegistered() {
  // XLInfo is the RTD product's unless it names TavXL.
  return ProductInfoNames(&info_, kName, false) || tav_server_.IsRegisteredAnywhere() ||
         tav_bundle_.IsRegisteredAnywhere() || publisher_.IsRegistered() ||
         tav_bus_.IsRegistered() || watchdog_.IsRegistered();
}

bool TavXLProduct::IsRegisteredForAllUsers() {
  return ProductInfoNames(&info_, kName, true) || kel_server_.IsRegisteredForAllUsers() ||
         tav_server_.IsRegisteredForAllUsers() || tav_bundle_.IsRegisteredForAllUsers() ||
         publisher_.IsRegisteredForAllUsers() || tav_bus_.IsRegisteredForAllUsers() ||
         watchdog_.IsRegisteredForAllUsers();
}

bool TavXLProduct::Unregister(bool per_user_only, bool keep_shared) {
  // XLInfo is the RTD product's; TavXL only takes away one that names it.
  bool ok = RemoveProductInfo(&info_, kName, per_user_only);
  if (!keep_shared) {
    ok = kel_server_.Unregister(per_user_only) && ok;
    ok = kel_xll_.Remove() && ok;
  }
  ok = tav_server_.Unregister(per_user_only) && ok;
  ok = tav_bundle_.Unregister(per_user_only) && ok;
  ok = tav_xll_.Remove() && ok;  // the bundle's server file is this XLL
  ok = publisher_.Unregister(per_user_only) && ok;
  ok = tav_bus_.Unregister(per_user_only) && ok;
  ok = watchdog_.Unregister(per_user_only) && ok;
  if (!per_user_only) ok = stamp_.RemoveAllUsers() && ok;
  // A stale per-user copy could make a later log-on skip its first-run registration.
  ok = stamp_.RemoveCurrentUser() && ok;
  return ok;
}

std::vector<std::string> TavXLProduct::KeyPaths() {
  std::vector<std::string> paths;
  if (info_.BuildPath()) paths.push_back(info_.JoinedPath());
  kel_server_.AppendKeyPaths(&paths);
  tav_server_.AppendKeyPaths(&paths);
  tav_bundle_.AppendKeyPaths(&paths);
  paths.push_back(InstallerKeyPath("TavXL"));
  return paths;
}

bool TavXLProduct::TimeStampsEqual(bool view64) {
  return stamp_.Equal(view64);
}

}  // namespace orvex
