#include "registration/rtd_server_node.h"

#include "registration/component_file.h"

namespace orvex {

bool SfxRegNode_RtdServerBase::FindFile(const std::string& folder, bool is64) {
  is64_ = is64;
  return FindComponentFile(folder, GetFileName(is64), &path_);
}

void SfxRegNode_RtdServerBase::Fill() {
  prog_id_.prog_id = GetProgID();
  prog_id_.clsid = GetClsID();
  prog_id_.description = GetDescription();
  prog_id_.cur_ver.clear();
  cls_id_.clsid = GetClsID();
  cls_id_.prog_id = GetProgID();
  cls_id_.type_lib = GetTypeLibID();
  cls_id_.description.clear();
  cls_id_.SetServerPath(path_);
  type_lib_.lib_id = GetTypeLibID();
  type_lib_.description.clear();
  type_lib_.win64_path = is64_ ? path_ : "";
  type_lib_.win32_path = is64_ ? "" : path_;
}

bool SfxRegNode_RtdServerBase::Register(bool per_user, bool view64) {
  Fill();
  bool ok = prog_id_.Register(per_user, view64);
  ok = cls_id_.Register(per_user, view64) && ok;
  ok = type_lib_.Register(per_user, view64) && ok;
  return ok;
}

bool SfxRegNode_RtdServerBase::IsRegisteredAnywhere() {
  Fill();
  return AnyRegisteredAnywhere({&prog_id_, &cls_id_, &type_lib_});
}

bool SfxRegNode_RtdServerBase::IsRegisteredForAllUsers() {
  Fill();
  return AnyRegisteredForAllUsers({&prog_id_, &cls_id_, &type_lib_});
}

void SfxRegNode_RtdServerBase::AppendKeyPaths(std::vector<std::string>* paths) {
  Fill();
  AppendPaths({&prog_id_, &cls_id_, &type_lib_}, paths);
}

bool SfxRegNode_RtdServerBase::Unregister(bool per_user_only) {
  Fill();
  return RemoveAll({&prog_id_, &cls_id_, &type_lib_}, per_user_only);
}

}  // namespace orvex
