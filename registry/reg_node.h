#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "registry/reg_key_path.h"

namespace orvex {

// A registry key named by root, view flag and a list of path components. Derived
// nodes (COM classes, add-ins, product entries) rebuild the components from their own
// fields in BuildPath and may list child nodes to delete with them. A node starts
// with no root (RegRoot::kNone); every operation then answers false and touches
// nothing. Nodes are plain values that live on the caller's stack.
class SfxRegNode {
 public:
  SfxRegNode() = default;
  SfxRegNode(RegRoot root, bool view64, std::string_view path);
  virtual ~SfxRegNode() = default;
  SfxRegNode(const SfxRegNode&) = default;
  SfxRegNode& operator=(const SfxRegNode&) = default;

  // Splits at every backslash, trims white space around each component and drops
  // empty components.
  static std::vector<std::string> SplitPath(std::string_view text);
  // A node with the parent's root, view and components plus those of `name`.
  static SfxRegNode MakeChild(const SfxRegNode& parent, std::string_view name);

  // Slot 0: true when the path is not empty. Derived nodes clear and rebuild it, and
  // answer false when their identifying field is empty.
  virtual bool BuildPath();
  // Slot 1: whether the node has child nodes to delete with it.
  virtual bool HasChildren();
  // Slot 2: fills `children` with plain nodes (root, view, path); false when there is
  // no child list.
  virtual bool GetChildren(std::vector<SfxRegNode>* children);

  RegRoot root() const { return root_; }
  bool view64() const { return view64_; }
  const std::vector<std::string>& path() const { return path_; }
  void SetLocation(RegRoot root, bool view64) {
    root_ = root;
    view64_ = view64;
  }
  // The components joined with backslashes.
  std::string JoinedPath() const;

  // The key of root, view and joined path; created when `create` is set.
  SfRegKeyPath MakeKey(bool create) const;
  bool Exists();
  bool EnsureExists();
  // Looks for the key under HKEY_CURRENT_USER (perUser) or HKEY_LOCAL_MACHINE, in the
  // 64-bit view first, then the default view; keeps root and view of the last attempt.
  bool Locate(bool per_user);

  // Write into the key, creating it first.
  bool WriteString(std::string_view name, std::string_view text);
  bool WriteDword(std::string_view name, uint32_t number);
  bool ReadValue(std::string_view name, SfRegValue* value);
  // True only for REG_SZ with at least one data byte; otherwise *text is cleared.
  bool ReadString(std::string_view name, std::string* text);

  // Deletes the child nodes' trees; true when there are none or all were deleted.
  bool DeleteChildren();
  // DeleteChildren, then the node's own key tree; true when both succeeded.
  bool DeleteTree();
  // Deletes every copy of the registration: all users before per user, 64-bit view
  // before default view, until none is found (true) or a delete fails (false; what
  // was deleted stays deleted).
  bool RemoveEverywhere();

 protected:
  // Root chosen and BuildPath true: the node may touch the registry.
  bool Ready();

  RegRoot root_ = RegRoot::kNone;
  bool view64_ = false;
  std::vector<std::string> path_;
};

}  // namespace orvex
