#include "registration/oxlade_product.h"

namespace orvex {

namespace {
constexpr const char* kName = "Oxlade";
}  // namespace

OxladeProduct::OxladeProduct(std::string folder, bool is64)
    : folder_(std::move(folder)),
      is64_(is64),
      ribbon_(SfxComAddIn::KelRTDRibbon()),
      stamp_(kName) {}

bool OxladeProduct::LocateFiles() {
  bool ok = server_.FindFile(folder_, is64_);
  ok = ribbon_.FindFile(folder_, is64_) && ok;
  ok = xll_.FindFile(folder_, is64_) && ok;
  ok = bus_.FindExe(folder_) && ok;
  return ok;
}

bool OxladeProduct::Register(bool per_user, bool view64, bool user_parts) {
  if (folder_.empty() || !LocateFiles()) return false;
  bool ok = server_.Register(per_user, view64);
  ok = ribbon_.Register(per_user, view64) && ok;
  if (user_parts) ok = xll_.EnableFound() && ok;
  info_.name = kName;
  info_.path = folder_;
  info_.x64 = is64_;
  info_.per_user = per_user;
  ok = info_.Register(per_user, view64) && ok;
  stamp_.Write(per_user, view64);  // not counted: the components are what matters
  return ok;
}

bool OxladeProduct::IsRegisteredAnywhere() {
  return info_.Locate(false) || info_.Locate(true) || server_.IsRegisteredAnywhere() ||
         ribbon_.IsRegisteredAnywhere() || xll_.IsRegistered() || bus_.IsRegistered();
}

bool OxladeProduct::OwnPartsRegistered() {
  return ProductInfoNames(&info_, kName, false) || ribbon_.IsRegisteredAnywhere() ||
         bus_.IsRegistered();
}

bool OxladeProduct::IsRegisteredForAllUsers() {
  return info_.Locate(false) || server_.IsRegisteredForAllUsers() ||
         ribbon_.IsRegisteredForAllUsers() || bus_.IsRegisteredForAllUsers();
}

bool OxladeProduct::Unregister(bool per_user_only, bool keep_shared) {
  bool ok = RemoveProductInfo(&info_, kName, per_user_only);
  if (!keep_shared) {
    ok = server_.Unregister(per_user_only) && ok;
    ok = xll_.Remove() && ok;
  }
  ok = ribbon_.Unregister(per_user_only) && ok;
  ok = bus_.Unregister(per_user_only) && ok;
  if (!per_user_only) ok = stamp_.RemoveAllUsers() && ok;
  // A stale per-user copy could make a later log-on skip its first-run registration.
  ok = stamp_.RemoveCurrentUser() && ok;
  return ok;
}

bool OxladeProduct::TimeStampsEqual(bool view64) {
  return stamp_.Equal(view64);
}

}  // namespace orvex
