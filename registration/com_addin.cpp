#include "registration/com_addin.h"

#include "registration/component_file.h"

namespace orvex {

namespace {

constexpr uint32_t kLoadAtStartup = 3;

constexpr SfxComAddInNames kKelRTDRibbon = {
    "KelRTDRibbonAddInLib.Connect",
    "KelRTDRibbonAddInLib.Connect.1",
    "KelRTD Ribbon",
    "{D40CCA85-F0F5-4F30-445A-3577E18A0A5A}",
    "{BCCA95BF-8E2F-8559-F823-CDEF7F73EDD7}",
    "KelRTD Ribbon Add-in Type Library",
    "{7B6C2916-3D00-D68D-F6DB-75D0C3F7EB93}",
    "KelRTDRibbonAddIn_x64.dll",
    "KelRTDRibbonAddIn.dll",
};

constexpr SfxComAddInNames kTavXLAddIn = {
    "KelRTDAddInExLib.Connect",
    "KelRTDAddInExLib.Connect.1",
    "Orvex XL Add-In",
    "{40051E46-7AB4-A36E-E098-7B3544242B30}",
    "{E58D656E-C4F3-378C-19CD-5840F1AEC544}",
    "TavXL Add-In Type Library",
    "{AD77BF39-7689-15E2-ED4A-22437740AF0D}",
    "TavXLAddIn_x64.xll",
    "TavXLAddIn.xll",
};

}  // namespace

SfxComAddIn SfxComAddIn::KelRTDRibbon() {
  return SfxComAddIn(kKelRTDRibbon);
}

SfxComAddIn SfxComAddIn::TavXLAddIn() {
  return SfxComAddIn(kTavXLAddIn);
}

bool SfxComAddIn::FindFile(const std::string& folder, bool is64) {
  is64_ = is64;
  return FindComponentFile(folder, GetFileName(is64), &path_);
}

void SfxComAddIn::Fill(const std::string& path, bool is64) {
  prog_id_.prog_id = names_.prog_id;
  prog_id_.clsid = names_.clsid;
  prog_id_.description = names_.description;
  prog_id_.cur_ver = names_.cur_ver;
  cls_id_.clsid = names_.clsid;
  cls_id_.prog_id = names_.prog_id;
  cls_id_.type_lib = names_.lib_id;
  cls_id_.inproc_server32 = path;
  cls_id_.local_server32.clear();
  cls_id_.description.clear();
  type_lib_.lib_id = names_.lib_id;
  type_lib_.description = names_.lib_description;
  type_lib_.win64_path = is64 ? path : "";
  type_lib_.win32_path = is64 ? "" : path;
  interface_.iid = names_.ribbon_iid;
  interface_.name = "IRibbonCallback";
  interface_.type_lib = names_.lib_id;
  excel_.prog_id = names_.prog_id;
  excel_.description = names_.description;
  excel_.friendly_name = names_.description;
  excel_.load_behavior = kLoadAtStartup;
}

bool SfxComAddIn::Register(bool per_user, bool view64) {
  Fill(path_, is64_);
  bool ok = prog_id_.Register(per_user, view64);
  ok = cls_id_.Register(per_user, view64) && ok;
  ok = type_lib_.Register(per_user, view64) && ok;
  ok = interface_.Register(per_user, view64) && ok;
  ok = excel_.Register(per_user, view64) && ok;
  return ok;
}

bool SfxComAddIn::IsRegisteredAnywhere() {
  Fill(path_, is64_);
  return AnyRegisteredAnywhere({&prog_id_, &cls_id_, &type_lib_, &interface_, &excel_});
}

bool SfxComAddIn::IsRegisteredForAllUsers() {
  Fill(path_, is64_);
  return AnyRegisteredForAllUsers({&prog_id_, &cls_id_, &type_lib_, &interface_, &excel_});
}

void SfxComAddIn::AppendKeyPaths(std::vector<std::string>* paths) {
  Fill(path_, is64_);
  AppendPaths({&prog_id_, &cls_id_, &type_lib_, &interface_, &excel_}, paths);
}

bool SfxComAddIn::Unregister(bool per_user_only) {
  Fill(path_, is64_);
  return RemoveAll({&prog_id_, &cls_id_, &type_lib_, &interface_, &excel_}, per_user_only);
}

}  // namespace orvex
