#pragma once
#include <string>

// An XLL add-in of the product, found in the installation folder and entered into
// the current user's Excel add-in lists (load entries and Add-in Manager names).
namespace orvex {

class SfxRegNode_XllAddInBase {
 public:
  virtual ~SfxRegNode_XllAddInBase() = default;
  virtual std::string GetFileName(bool is64) const = 0;

  // Looks for the file of that bitness below `folder`; remembers it (or clears it).
  bool FindFile(const std::string& folder, bool is64);
  // Makes the found file Excel's only load entry for its file name (a copy from
  // another folder is replaced); true when it is enabled now. False when no file has
  // been found.
  bool EnableFound();
  // With Excel's bitness: finds the file below `folder` (the running program's folder
  // when empty) and EnableFound.
  bool Enable(const std::string& folder);
  // Either bitness's file name is known to Excel (Add-in Manager or load entry).
  bool IsRegistered();
  // Removes both file names from both lists; true when neither is known any more.
  bool Remove();

  static bool IsKnownAnywhere(const std::string& file_name);
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool is64_ = false;
};

// An XLL named at construction (32-bit name first).
class SfxRegNode_XllAddIn : public SfxRegNode_XllAddInBase {
 public:
  SfxRegNode_XllAddIn(std::string file32, std::string file64)
      : file32_(std::move(file32)), file64_(std::move(file64)) {}
  // The TavXL XLL.
  static SfxRegNode_XllAddIn TavXL() { return {"TavXLAddIn.xll", "TavXLAddIn_x64.xll"}; }
  std::string GetFileName(bool is64) const override { return is64 ? file64_ : file32_; }

 private:
  std::string file32_;
  std::string file64_;
};

class SfxRegNode_KelRTDAddIn : public SfxRegNode_XllAddInBase {
 public:
  std::string GetFileName(bool is64) const override {
    return is64 ? "KelRTDAddIn_x64.xll" : "KelRTDAddIn.xll";
  }
};

}  // namespace orvex
