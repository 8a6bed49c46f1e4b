#include "rtd/server_keys.h"

#include "registry/reg_node.h"

namespace orvex::rtd {

namespace {

constexpr const char* kClasses = "Software\\Classes\\";

// The user's classes key `rest`, in the view of the DLL's own bitness.
SfxRegNode UserClass(const std::string& rest, bool is64) {
  return SfxRegNode(RegRoot::kCurrentUser, is64, kClasses + rest);
}

bool WriteDefault(const SfxRegNode& parent, const char* child, const std::string& text) {
  return SfxRegNode::MakeChild(parent, child).WriteString("", text);
}

}  // namespace

bool RegisterServerKeys(const std::string& dll_path, bool is64) {
  SfxRegNode prog_id = UserClass(kProgId, is64);
  bool ok = prog_id.WriteString("", kDescription);
  ok = WriteDefault(prog_id, "CLSID", kClsid) && ok;

  SfxRegNode cls = UserClass(std::string("CLSID\\") + kClsid, is64);
  ok = cls.WriteString("", "") && ok;
  ok = WriteDefault(cls, "InprocServer32", dll_path) && ok;
  ok = WriteDefault(cls, "ProgID", kProgId) && ok;
  ok = WriteDefault(cls, "TypeLib", kLibId) && ok;

  SfxRegNode version = UserClass(std::string("TypeLib\\") + kLibId + "\\1.0", is64);
  ok = version.WriteString("", "") && ok;
  ok = WriteDefault(SfxRegNode::MakeChild(version, "0"), is64 ? "win64" : "win32", dll_path) && ok;
  ok = WriteDefault(version, "FLAGS", "") && ok;
  return ok;
}

bool UnregisterServerKeys() {
  bool ok = true;
  for (const std::string& rest :
       {std::string(kProgId), std::string("CLSID\\") + kClsid, std::string("TypeLib\\") + kLibId}) {
    // Both views: a user's classes may have been written from either bitness.
    for (bool view64 : {true, false}) {
      SfxRegNode node = UserClass(rest, view64);
      if (node.Exists()) ok = node.DeleteTree() && ok;
    }
  }
  return ok;
}

}  // namespace orvex::rtd
