#include "registry/reg_node.h"

#include "base/trim_space.h"

namespace orvex {

namespace {

// Four places exist (two roots, two views); a key that survives a successful delete
// (a store that lies) must not keep the removal looping for ever.
constexpr int kMaxRemovePasses = 16;

}  // namespace

SfxRegNode::SfxRegNode(RegRoot root, bool view64, std::string_view path)
    : root_(root), view64_(view64), path_(SplitPath(path)) {}

std::vector<std::string> SfxRegNode::SplitPath(std::string_view text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\\', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view part = TrimSpace(text.substr(start, end - start));
    if (!part.empty()) parts.emplace_back(part);
    start = end + 1;
  }
  return parts;
}

SfxRegNode SfxRegNode::MakeChild(const SfxRegNode& parent, std::string_view name) {
  SfxRegNode child(parent.root_, parent.view64_, "");
  child.path_ = parent.path_;
  for (std::string& part : SplitPath(name)) child.path_.push_back(std::move(part));
  return child;
}

bool SfxRegNode::BuildPath() {
  return !path_.empty();
}
bool SfxRegNode::HasChildren() {
  return false;
}
bool SfxRegNode::GetChildren(std::vector<SfxRegNode>*) {
  return false;
}

std::string SfxRegNode::JoinedPath() const {
  std::string joined;
  for (const std::string& part : path_) {
    if (!joined.empty()) joined += '\\';
    joined += part;
  }
  return joined;
}

bool SfxRegNode::Ready() {
  return root_ != RegRoot::kNone && BuildPath();
}

SfRegKeyPath SfxRegNode::MakeKey(bool create) const {
  SfRegKeyPath key(root_, JoinedPath(), view64_);
  if (create) (void)key.Create();
  return key;
}

bool SfxRegNode::Exists() {
  return Ready() && MakeKey(false).Exists();
}

bool SfxRegNode::EnsureExists() {
  if (!Ready()) return false;
  const SfRegKeyPath key = MakeKey(false);
  return key.Exists() || key.Create();
}

bool SfxRegNode::Locate(bool per_user) {
  root_ = per_user ? RegRoot::kCurrentUser : RegRoot::kLocalMachine;
  view64_ = true;
  if (Exists()) return true;
  view64_ = false;
  return Exists();
}

bool SfxRegNode::WriteString(std::string_view name, std::string_view text) {
  return Ready() && MakeKey(true).WriteString(name, text);
}

bool SfxRegNode::WriteDword(std::string_view name, uint32_t number) {
  return Ready() && MakeKey(true).WriteDword(name, number);
}

bool SfxRegNode::ReadValue(std::string_view name, SfRegValue* value) {
  return Ready() && MakeKey(false).ReadValue(name, value);
}

bool SfxRegNode::ReadString(std::string_view name, std::string* text) {
  SfRegValue value;
  text->clear();
  if (!ReadValue(name, &value) || value.type != kRegSz || value.data.empty()) return false;
  return value.ToString(text);
}

bool SfxRegNode::DeleteChildren() {
  if (!HasChildren()) return true;
  std::vector<SfxRegNode> children;
  if (!GetChildren(&children)) return false;
  bool all = true;
  for (SfxRegNode& child : children) all = child.DeleteTree() && all;
  return all;
}

bool SfxRegNode::DeleteTree() {
  if (!Ready()) return false;
  const bool children = DeleteChildren();
  const bool own = MakeKey(false).DeleteTree();
  return children && own;
}

bool SfxRegNode::RemoveEverywhere() {
  for (int pass = 0; pass < kMaxRemovePasses; ++pass) {
    if (!Locate(false) && !Locate(true)) return true;
    if (!DeleteTree()) return false;
  }
  return false;
}

}  // namespace orvex
