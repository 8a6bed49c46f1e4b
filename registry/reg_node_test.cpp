#include "registry/reg_node.h"

#include <gtest/gtest.h>

#include <utility>

#include "platform/registry_sandbox.h"

namespace orvex {
namespace {

using platform::RegistrySandbox;

std::vector<std::string> Names(std::initializer_list<const char*> list) {
  return std::vector<std::string>(list.begin(), list.end());
}

TEST(RegNodeText, SplitTrimsComponentsAndDropsEmptyOnes) {
  EXPECT_EQ(SfxRegNode::SplitPath("Software\\\\Classes\\ CLSID "),
            Names({"Software", "Classes", "CLSID"}));
  EXPECT_EQ(SfxRegNode::SplitPath(" \\ A b \\"), Names({"A b"}));
  EXPECT_TRUE(SfxRegNode::SplitPath(" \\\\ ").empty());
}

TEST(RegNodeText, MakeChildCopiesLocationAndAppendsComponents) {
  const SfxRegNode parent(RegRoot::kLocalMachine, true, "Software\\Classes");
  const SfxRegNode child = SfxRegNode::MakeChild(parent, "CLSID\\ {X} \\\\InprocServer32");
  EXPECT_EQ(child.root(), RegRoot::kLocalMachine);
  EXPECT_TRUE(child.view64());
  EXPECT_EQ(child.JoinedPath(), "Software\\Classes\\CLSID\\{X}\\InprocServer32");
  EXPECT_EQ(parent.path().size(), 2u) << "the parent is left alone";
}

class RegNodeTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sandbox_.ok()); }
  RegistrySandbox sandbox_;
};

TEST_F(RegNodeTest, NodeWithoutRootOrPathTouchesNothing) {
  SfxRegNode unrooted(RegRoot::kNone, false, "Software\\OrvexT\\N");
  EXPECT_FALSE(unrooted.EnsureExists());
  EXPECT_FALSE(unrooted.WriteString("a", "b"));
  EXPECT_FALSE(unrooted.DeleteTree());
  EXPECT_FALSE(SfRegKeyPath(RegRoot::kCurrentUser, "Software\\OrvexT\\N").Exists());
  SfxRegNode empty(RegRoot::kCurrentUser, false, " \\ ");
  EXPECT_FALSE(empty.BuildPath());
  EXPECT_FALSE(empty.WriteDword("a", 1));
  EXPECT_FALSE(empty.DeleteTree()) << "an empty path must never reach the root";
  std::vector<std::string> top;
  EXPECT_TRUE(SfRegKeyPath(RegRoot::kCurrentUser, "").EnumSubKeys(&top));
  EXPECT_TRUE(top.empty()) << "nothing may be written anywhere";
}

TEST_F(RegNodeTest, WritesCreateTheKeyAndReadStringWantsPlainText) {
  SfxRegNode node(RegRoot::kCurrentUser, false, "Software\\OrvexT\\W");
  EXPECT_FALSE(node.Exists());
  ASSERT_TRUE(node.WriteString("Name", "value"));
  ASSERT_TRUE(node.WriteDword("Flag", 1));
  EXPECT_TRUE(node.Exists());
  std::string text = "stale";
  EXPECT_TRUE(node.ReadString("Name", &text));
  EXPECT_EQ(text, "value");
  EXPECT_FALSE(node.ReadString("Flag", &text));
  EXPECT_EQ(text, "");
  const SfRegKeyPath key = node.MakeKey(false);
  ASSERT_TRUE(key.WriteValue("Expand", {'x', 0}, kRegExpandSz));
  ASSERT_TRUE(key.WriteValue("NoBytes", {}, kRegSz));
  EXPECT_FALSE(node.ReadString("Expand", &text)) << "only REG_SZ counts for a node";
  EXPECT_FALSE(node.ReadString("NoBytes", &text));
}

// A node with one child key, recording where each deletion ran.
class RecordingNode : public SfxRegNode {
 public:
  RecordingNode(std::string path, bool children_ok)
      : SfxRegNode(RegRoot::kNone, false, path), children_ok_(children_ok) {}
  bool HasChildren() override { return true; }
  bool GetChildren(std::vector<SfxRegNode>* children) override {
    places.emplace_back(root_, view64_);
    if (!children_ok_) return false;
    children->push_back(MakeChild(*this, "Child"));
    return true;
  }
  std::vector<std::pair<RegRoot, bool>> places;

 private:
  bool children_ok_;
};

void Register(RegRoot root, bool view64, const char* path) {
  SfxRegNode node(root, view64, path);
  ASSERT_TRUE(SfxRegNode::MakeChild(node, "Child").WriteString("", "x"));
  ASSERT_TRUE(node.WriteString("", "registered"));
}

TEST_F(RegNodeTest, LocatePrefersTheSixtyFourBitViewAndKeepsLastAttempt) {
  const char* path = "Software\\OrvexT\\Located";
  RecordingNode node(path, true);
  EXPECT_FALSE(node.Locate(true));
  EXPECT_EQ(node.root(), RegRoot::kCurrentUser);
  EXPECT_FALSE(node.view64());
  Register(RegRoot::kLocalMachine, true, path);
  EXPECT_TRUE(node.Locate(false));
  EXPECT_EQ(node.root(), RegRoot::kLocalMachine);
  EXPECT_TRUE(node.view64());
}

TEST_F(RegNodeTest, RemoveEverywhereClearsAllUsersBeforePerUser) {
  const char* path = "Software\\OrvexT\\Everywhere";
  Register(RegRoot::kLocalMachine, true, path);
  Register(RegRoot::kCurrentUser, false, path);
  if (RegistrySandbox::KeepsViews()) Register(RegRoot::kLocalMachine, false, path);
  RecordingNode node(path, true);
  EXPECT_TRUE(node.RemoveEverywhere());
  for (RegRoot root : {RegRoot::kLocalMachine, RegRoot::kCurrentUser}) {
    for (bool view64 : {true, false}) {
      EXPECT_FALSE(SfRegKeyPath(root, path, view64).Exists());
    }
  }
  using Place = std::pair<RegRoot, bool>;
  std::vector<Place> expected{{RegRoot::kLocalMachine, true}};
  if (RegistrySandbox::KeepsViews()) expected.emplace_back(RegRoot::kLocalMachine, false);
  // The user's Software is one key in both views, so it is found in the 64-bit one.
  expected.emplace_back(RegRoot::kCurrentUser, true);
  EXPECT_EQ(node.places, expected);
  EXPECT_TRUE(node.RemoveEverywhere()) << "nothing registered is success";
}

TEST_F(RegNodeTest, RemoveEverywhereStopsAtTheFirstFailingDelete) {
  const char* path = "Software\\OrvexT\\Stuck";
  Register(RegRoot::kLocalMachine, true, path);
  Register(RegRoot::kCurrentUser, false, path);
  RecordingNode node(path, false);
  EXPECT_FALSE(node.RemoveEverywhere());
  EXPECT_EQ(node.places.size(), 1u);
  EXPECT_TRUE(SfRegKeyPath(RegRoot::kCurrentUser, path).Exists());
}

TEST_F(RegNodeTest, DeleteTreeDeletesChildrenThenOwnKey) {
  const char* path = "Software\\OrvexT\\Own";
  Register(RegRoot::kCurrentUser, false, path);
  RecordingNode node(path, true);
  node.SetLocation(RegRoot::kCurrentUser, false);
  EXPECT_TRUE(node.DeleteTree());
  EXPECT_FALSE(node.Exists());
  node.SetLocation(RegRoot::kCurrentUser, false);
  EXPECT_TRUE(node.DeleteTree()) << "a child and key already gone count as deleted";
}

TEST_F(RegNodeTest, RemoveEverywhereGoesOnWhenAChildIsMissingInOnePlace) {
  const char* path = "Software\\OrvexT\\HalfThere";
  ASSERT_TRUE(SfxRegNode(RegRoot::kLocalMachine, true, path).WriteString("", "no child"));
  Register(RegRoot::kCurrentUser, false, path);
  RecordingNode node(path, true);
  EXPECT_TRUE(node.RemoveEverywhere());
  EXPECT_EQ(node.places.size(), 2u);
  EXPECT_FALSE(SfRegKeyPath(RegRoot::kLocalMachine, path, true).Exists());
  EXPECT_FALSE(SfRegKeyPath(RegRoot::kCurrentUser, path).Exists()) << "the per-user copy too";
}

}  // namespace
}  // namespace orvex
