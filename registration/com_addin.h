#pragma once
#include <string>
#include <vector>

#include "registration/com_nodes.h"
#include "registration/product_nodes.h"

// A COM add-in bundle of Excel: ProgID (with CurVer), class, type library, the
// ribbon callback interface and Excel's COM add-in entry, all for one server file.
namespace orvex {

// The fixed names of one bundle.
struct SfxComAddInNames {
  const char* prog_id;
  const char* cur_ver;
  const char* description;
  const char* clsid;
  const char* lib_id;
  const char* lib_description;
  const char* ribbon_iid;
  const char* file64;
  const char* file32;
};

class SfxComAddIn {
 public:
  explicit SfxComAddIn(const SfxComAddInNames& names) : names_(names) {}

  // The KelRTD ribbon bundle and the TavXL add-in bundle (served by the TavXL XLL).
  static SfxComAddIn KelRTDRibbon();
  static SfxComAddIn TavXLAddIn();

  const char* GetFileName(bool is64) const { return is64 ? names_.file64 : names_.file32; }
  // Looks for the server file of that bitness below `folder`; remembers it.
  bool FindFile(const std::string& folder, bool is64);
  // Sets the five nodes for the server file `path`.
  void Fill(const std::string& path, bool is64);
  // Fill with the found file, then registers the five nodes in order; true when all did.
  bool Register(bool per_user, bool view64);
  bool IsRegisteredAnywhere();
  bool IsRegisteredForAllUsers();
  // Removes the nodes from every place, or with `per_user_only` from the current
  // user's places only; true when all were removed.
  bool Unregister(bool per_user_only = false);

  // Appends the joined paths of the component's keys (a versioned ProgID included).
  void AppendKeyPaths(std::vector<std::string>* paths);

  const std::string& path() const { return path_; }

 private:
  SfxComAddInNames names_;
  std::string path_;
  bool is64_ = false;
  SfxRegNode_ProgID prog_id_;
  SfxRegNode_ClsID cls_id_;
  SfxRegNode_TypeLib type_lib_;
  SfxRegNode_Interface interface_;
  SfxRegNode_ExcelComAddIn excel_;
};

}  // namespace orvex
