#pragma once
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "registry/reg_node.h"

// The COM registration keys of a component, each a registry node below
// "Software\Classes" of HKEY_CURRENT_USER (per user) or HKEY_LOCAL_MACHINE. Fields
// start empty; BuildPath answers false while the identifying (first) field is empty.
// Register(per_user, view64) chooses the place, creates the key and writes its values
// and child keys; it answers true only when every write it attempted succeeded.
namespace orvex {

// Chooses the node's place from the registration flags and makes sure its key exists.
bool PlaceNode(SfxRegNode* node, bool per_user, bool view64);

// Removes the node from every place (RemoveEverywhere) or, with `per_user_only`, from
// the current user's places only, so that the all-users registration stays.
bool RemoveNode(SfxRegNode* node, bool per_user_only);

// Over the nodes of one component: any of them registered for all users or per user
// (in either view); any registered for all users; every one removed with RemoveNode
// (all are tried; true when all succeeded).
bool AnyRegisteredAnywhere(std::initializer_list<SfxRegNode*> nodes);
bool AnyRegisteredForAllUsers(std::initializer_list<SfxRegNode*> nodes);
bool RemoveAll(std::initializer_list<SfxRegNode*> nodes, bool per_user_only);
// Appends the joined path of each node and of its child nodes.
void AppendPaths(std::initializer_list<SfxRegNode*> nodes, std::vector<std::string>* paths);

// A ProgID key: default value = description, child "CLSID". With a CurVer the
// versioned ProgID is registered beside it and deleted with it (its child node).
class SfxRegNode_ProgID : public SfxRegNode {
 public:
  bool BuildPath() override;
  bool HasChildren() override;
  bool GetChildren(std::vector<SfxRegNode>* children) override;
  bool Register(bool per_user, bool view64);

  std::string prog_id;
  std::string clsid;
  std::string description;
  std::string cur_ver;

 private:
  SfxRegNode_ProgID Versioned() const;
};

// A class key "CLSID\{...}" with its server, ProgID and type library children.
class SfxRegNode_ClsID : public SfxRegNode {
 public:
  bool BuildPath() override;
  // A path ending in ".exe" (without enclosing quotes, in any case) becomes the
  // LocalServer32, anything else the InprocServer32; the other one is cleared.
  void SetServerPath(const std::string& path);
  bool Register(bool per_user, bool view64);

  std::string clsid;
  std::string description;
  std::string local_server32;
  std::string inproc_server32;
  std::string prog_id;
  std::string type_lib;
};

// An interface key "Interface\{iid}" with proxy/stub class and type library.
class SfxRegNode_Interface : public SfxRegNode {
 public:
  bool BuildPath() override;
  // Fails without writing when iid, name or type_lib is empty. An empty version
  // becomes "1.0", an empty proxy/stub class the standard automation marshaller.
  bool Register(bool per_user, bool view64);

  std::string iid;
  std::string name;
  std::string type_lib;
  std::string type_lib_version;
  std::string proxy_stub_clsid;
};

// A type library key "TypeLib\{libid}\<version>" with "<lcid>\win32|win64", "FLAGS"
// (always) and "HELPDIR" (when set).
class SfxRegNode_TypeLib : public SfxRegNode {
 public:
  bool BuildPath() override;
  // Fails without writing when lib_id is empty or both paths are. An empty version
  // becomes "1.0", an empty lcid "0".
  bool Register(bool per_user, bool view64);

  std::string lib_id;
  std::string description;
  std::string win32_path;
  std::string win64_path;
  std::string version;
  std::string lcid;
  std::string flags;
  std::string help_dir;
};

}  // namespace orvex
