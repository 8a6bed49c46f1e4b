#include "registration/com_nodes.h"

#include "base/no_case.h"

namespace orvex {

namespace {

constexpr const char* kClasses = "Software\\Classes";
constexpr const char* kAutomationProxy = "{00020424-0000-0000-C000-000000000046}";
// Two views hold a user's copies; a key that survives its delete must not loop us.
constexpr int kMaxRemovePasses = 8;

// path = base components + those of `id`; false when `id` names nothing.
bool BuildUnder(std::vector<std::string>* path, const char* base, std::string_view id) {
  path->clear();
  std::vector<std::string> parts = SfxRegNode::SplitPath(id);
  if (parts.empty()) return false;
  *path = SfxRegNode::SplitPath(base);
  path->insert(path->end(), parts.begin(), parts.end());
  return true;
}

// Default value of the child `name` (created with it).
bool WriteChildDefault(const SfxRegNode& parent, std::string_view name, std::string_view text) {
  return SfxRegNode::MakeChild(parent, name).WriteString("", text);
}

std::string Unquoted(const std::string& path) {
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
    return path.substr(1, path.size() - 2);
  }
  return path;
}

}  // namespace

bool PlaceNode(SfxRegNode* node, bool per_user, bool view64) {
  node->SetLocation(per_user ? RegRoot::kCurrentUser : RegRoot::kLocalMachine, view64);
  return node->EnsureExists();
}

bool AnyRegisteredAnywhere(std::initializer_list<SfxRegNode*> nodes) {
  for (SfxRegNode* node : nodes) {
    if (node->Locate(false) || node->Locate(true)) return true;
  }
  return false;
}

bool AnyRegisteredForAllUsers(std::initializer_list<SfxRegNode*> nodes) {
  for (SfxRegNode* node : nodes) {
    if (node->Locate(false)) return true;
  }
  return false;
}

bool RemoveNode(SfxRegNode* node, bool per_user_only) {
  if (!per_user_only) return node->RemoveEverywhere();
  for (int pass = 0; pass < kMaxRemovePasses; ++pass) {
    if (!node->Locate(true)) return true;
    if (!node->DeleteTree()) return false;
  }
  return false;
}

bool RemoveAll(std::initializer_list<SfxRegNode*> nodes, bool per_user_only) {
  bool ok = true;
  for (SfxRegNode* node : nodes) ok = RemoveNode(node, per_user_only) && ok;
  return ok;
}

void AppendPaths(std::initializer_list<SfxRegNode*> nodes, std::vector<std::string>* paths) {
  for (SfxRegNode* node : nodes) {
    if (!node->BuildPath()) continue;
    paths->push_back(node->JoinedPath());
    std::vector<SfxRegNode> children;
    if (node->HasChildren() && node->GetChildren(&children)) {
      for (const SfxRegNode& child : children) paths->push_back(child.JoinedPath());
    }
  }
}

bool SfxRegNode_ProgID::BuildPath() {
  return BuildUnder(&path_, kClasses, prog_id);
}

bool SfxRegNode_ProgID::HasChildren() {
  return !cur_ver.empty();
}

SfxRegNode_ProgID SfxRegNode_ProgID::Versioned() const {
  SfxRegNode_ProgID versioned;
  versioned.SetLocation(root_, view64_);
  versioned.prog_id = cur_ver;
  versioned.clsid = clsid;
  versioned.description = description;
  return versioned;
}

bool SfxRegNode_ProgID::GetChildren(std::vector<SfxRegNode>* children) {
  children->clear();
  SfxRegNode_ProgID versioned = Versioned();
  if (!versioned.BuildPath()) return false;
  children->push_back(SfxRegNode(root_, view64_, versioned.JoinedPath()));
  return true;
}

bool SfxRegNode_ProgID::Register(bool per_user, bool view64) {
  if (!PlaceNode(this, per_user, view64)) return false;
  bool ok = WriteString("", description);
  ok = WriteChildDefault(*this, "CLSID", clsid) && ok;
  if (!cur_ver.empty()) {
    ok = WriteChildDefault(*this, "CurVer", cur_ver) && ok;
    ok = Versioned().Register(per_user, view64) && ok;
  }
  return ok;
}

bool SfxRegNode_ClsID::BuildPath() {
  return BuildUnder(&path_, "Software\\Classes\\CLSID", clsid);
}

void SfxRegNode_ClsID::SetServerPath(const std::string& path) {
  if (EndsWithNoCase(Unquoted(path), ".exe")) {
    local_server32 = path;
    inproc_server32.clear();
  } else {
    inproc_server32 = path;
    local_server32.clear();
  }
}

bool SfxRegNode_ClsID::Register(bool per_user, bool view64) {
  if (!PlaceNode(this, per_user, view64)) return false;
  bool ok = WriteString("", description);
  const std::pair<const char*, const std::string*> children[] = {
      {"LocalServer32", &local_server32},
      {"InprocServer32", &inproc_server32},
      {"ProgID", &prog_id},
      {"TypeLib", &type_lib},
  };
  for (const auto& [name, text] : children) {
    if (!text->empty()) ok = WriteChildDefault(*this, name, *text) && ok;
  }
  return ok;
}

bool SfxRegNode_Interface::BuildPath() {
  return BuildUnder(&path_, "Software\\Classes\\Interface", iid);
}

bool SfxRegNode_Interface::Register(bool per_user, bool view64) {
  if (iid.empty() || name.empty() || type_lib.empty()) return false;
  if (type_lib_version.empty()) type_lib_version = "1.0";
  if (proxy_stub_clsid.empty()) proxy_stub_clsid = kAutomationProxy;
  if (!PlaceNode(this, per_user, view64)) return false;
  bool ok = WriteString("", name);
  ok = WriteChildDefault(*this, "ProxyStubClsid32", proxy_stub_clsid) && ok;
  SfxRegNode lib = MakeChild(*this, "TypeLib");
  ok = lib.WriteString("", type_lib) && ok;
  ok = lib.WriteString("Version", type_lib_version) && ok;
  return ok;
}

bool SfxRegNode_TypeLib::BuildPath() {
  return BuildUnder(&path_, "Software\\Classes\\TypeLib", lib_id);
}

bool SfxRegNode_TypeLib::Register(bool per_user, bool view64) {
  if (lib_id.empty() || (win32_path.empty() && win64_path.empty())) return false;
  if (version.empty()) version = "1.0";
  if (lcid.empty()) lcid = "0";
  if (!PlaceNode(this, per_user, view64)) return false;
  SfxRegNode versioned = MakeChild(*this, version);
  bool ok = versioned.WriteString("", description);
  SfxRegNode locale = MakeChild(versioned, lcid);
  if (!win32_path.empty()) ok = WriteChildDefault(locale, "win32", win32_path) && ok;
  if (!win64_path.empty()) ok = WriteChildDefault(locale, "win64", win64_path) && ok;
  ok = WriteChildDefault(versioned, "FLAGS", flags) && ok;
  if (!help_dir.empty()) ok = WriteChildDefault(versioned, "HELPDIR", help_dir) && ok;
  return ok;
}

}  // namespace orvex
