#pragma once
#include <string>
#include <vector>

#include "registration/com_nodes.h"

// An RTD server component: a COM DLL registered as ProgID, class and type library.
// Concrete servers answer their fixed names; the base finds the file and drives the
// three nodes it owns.
namespace orvex {

class SfxRegNode_RtdServerBase {
 public:
  virtual ~SfxRegNode_RtdServerBase() = default;

  virtual std::string GetProgID() const = 0;
  virtual std::string GetDescription() const = 0;
  virtual std::string GetClsID() const = 0;
  virtual std::string GetTypeLibID() const = 0;
  virtual std::string GetFileName(bool is64) const = 0;

  // Looks for the file of that bitness below `folder`; remembers it (or clears it).
  bool FindFile(const std::string& folder, bool is64);
  // Sets the three nodes from the fixed names and the found file.
  void Fill();
  // Fill, then registers ProgID, class and type library; true when all three did.
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
  std::string path_;
  bool is64_ = false;
  SfxRegNode_ProgID prog_id_;
  SfxRegNode_ClsID cls_id_;
  SfxRegNode_TypeLib type_lib_;
};

class SfxRegNode_KelRTDServer : public SfxRegNode_RtdServerBase {
 public:
  std::string GetProgID() const override { return "KelRTD"; }
  std::string GetDescription() const override { return "Orvex Data Services KelRTD Server"; }
  std::string GetClsID() const override { return "{6C2B9D40-8E15-47a3-9D2C-5B7E1F30A46D}"; }
  std::string GetTypeLibID() const override { return "{6C2B9D41-8E15-47a3-9D2C-5B7E1F30A46D}"; }
  std::string GetFileName(bool is64) const override {
    return is64 ? "KelRTDServer_x64.dll" : "KelRTDServer.dll";
  }
};

class SfxRegNode_TavxlRtdServer : public SfxRegNode_RtdServerBase {
 public:
  std::string GetProgID() const override { return "TavXL"; }
  std::string GetDescription() const override { return "Orvex Data Services TavXL RTD Server"; }
  std::string GetClsID() const override { return "{6C2B9D42-8E15-47a3-9D2C-5B7E1F30A46D}"; }
  std::string GetTypeLibID() const override { return "{6C2B9D43-8E15-47a3-9D2C-5B7E1F30A46D}"; }
  std::string GetFileName(bool is64) const override {
    return is64 ? "TavRTDServer_x64.dll" : "TavRTDServer.dll";
  }
};

}  // namespace orvex
