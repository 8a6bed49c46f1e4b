// The POSIX registry store: views, the class merge, and several processes at once.
// The Windows sandbox maps every root to one plain key, so these run on POSIX only.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/registry_sandbox.h"
#include "platform/thread.h"
#include "tests/support/child_process.h"

namespace orvex::platform {
namespace {

constexpr int kBurst = 300;

RegResult Put(RegRoot root, const std::string& path, bool view64, const std::string& name,
              const std::string& text) {
  RegistryKey key;
  RegResult r = RegistryKey::Create(root, path, view64, &key, nullptr);
  if (r != RegResult::kOk) return r;
  return key.SetValue(name, kRegSz, reinterpret_cast<const uint8_t*>(text.c_str()),
                      text.size() + 1);
}

// The text of a value, "<missing>" when it cannot be read.
std::string Get(RegRoot root, const std::string& path, bool view64, const std::string& name) {
  RegistryKey key;
  std::vector<uint8_t> data;
  if (RegistryKey::Open(root, path, RegAccess::kRead, view64, &key) != RegResult::kOk ||
      key.QueryValue(name, nullptr, &data, nullptr) != RegResult::kOk || data.empty()) {
    return "<missing>";
  }
  return std::string(data.begin(), data.end() - 1);
}

std::vector<std::string> SubKeys(RegRoot root, const std::string& path, bool view64) {
  std::vector<std::string> names;
  RegistryKey key;
  if (RegistryKey::Open(root, path, RegAccess::kRead, view64, &key) != RegResult::kOk) return names;
  std::string name;
  for (uint32_t i = 0; key.EnumSubKey(i, &name) == RegResult::kOk; ++i) names.push_back(name);
  return names;
}

class RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!RegistrySandbox::KeepsViews()) GTEST_SKIP() << "needs the POSIX store";
    ASSERT_TRUE(sandbox_.ok());
  }
  RegistrySandbox sandbox_;
};

TEST_F(RegistryStoreTest, DefaultViewIsTheThirtyTwoBitView) {
  ASSERT_EQ(Put(RegRoot::kLocalMachine, "Software\\Orvex", false, "v", "32"), RegResult::kOk);
  EXPECT_EQ(Get(RegRoot::kLocalMachine, "Software\\WOW6432Node\\Orvex", true, "v"), "32");
  EXPECT_EQ(Get(RegRoot::kLocalMachine, "Software\\Orvex", true, "v"), "<missing>");
  ASSERT_EQ(Put(RegRoot::kLocalMachine, "Software\\Orvex", true, "v", "64"), RegResult::kOk);
  EXPECT_EQ(Get(RegRoot::kLocalMachine, "Software\\Orvex", false, "v"), "32");
  EXPECT_EQ(SubKeys(RegRoot::kLocalMachine, "Software", false), std::vector<std::string>{"Orvex"});
  // Class registrations are shared, except the class ids and interfaces.
  ASSERT_EQ(Put(RegRoot::kLocalMachine, "Software\\Classes\\Orvex.Prog", false, "", "p"),
            RegResult::kOk);
  EXPECT_EQ(Get(RegRoot::kLocalMachine, "Software\\Classes\\Orvex.Prog", true, ""), "p");
  ASSERT_EQ(Put(RegRoot::kClassesRoot, "CLSID\\{1}", false, "", "c32"), RegResult::kOk);
  EXPECT_EQ(Get(RegRoot::kLocalMachine, "Software\\Classes\\WOW6432Node\\CLSID\\{1}", true, ""),
            "c32");
  EXPECT_EQ(Get(RegRoot::kClassesRoot, "CLSID\\{1}", true, ""), "<missing>");
  // The user's Software is the same in both views.
  ASSERT_EQ(Put(RegRoot::kCurrentUser, "Software\\Orvex", false, "v", "u"), RegResult::kOk);
  EXPECT_EQ(Get(RegRoot::kCurrentUser, "Software\\Orvex", true, "v"), "u");
}

TEST_F(RegistryStoreTest, ClassesRootMergesUserOverMachine) {
  ASSERT_EQ(Put(RegRoot::kLocalMachine, "Software\\Classes\\Both", false, "", "machine"),
            RegResult::kOk);
  ASSERT_EQ(Put(RegRoot::kLocalMachine, "Software\\Classes\\OnlyMachine", false, "", "m"),
            RegResult::kOk);
  EXPECT_EQ(Get(RegRoot::kClassesRoot, "Both", false, ""), "machine");
  ASSERT_EQ(Put(RegRoot::kCurrentUser, "Software\\Classes\\both", false, "", "user"),
            RegResult::kOk);
  ASSERT_EQ(Put(RegRoot::kCurrentUser, "Software\\Classes\\A.User", false, "", "u"),
            RegResult::kOk);
  EXPECT_EQ(Get(RegRoot::kClassesRoot, "BOTH", false, ""), "user");
  EXPECT_EQ(SubKeys(RegRoot::kClassesRoot, "", false),
            (std::vector<std::string>{"A.User", "both", "OnlyMachine"}));
  // New keys go where their nearest parent lives, else to the machine.
  ASSERT_EQ(Put(RegRoot::kClassesRoot, "A.User\\Sub", false, "", "s"), RegResult::kOk);
  EXPECT_EQ(Get(RegRoot::kCurrentUser, "Software\\Classes\\A.User\\Sub", false, ""), "s");
  ASSERT_EQ(Put(RegRoot::kClassesRoot, "Brand.New", false, "", "n"), RegResult::kOk);
  EXPECT_EQ(Get(RegRoot::kLocalMachine, "Software\\Classes\\Brand.New", false, ""), "n");
  // Deleting through the merged root removes the user's copy first.
  RegistryKey root;
  ASSERT_EQ(RegistryKey::Open(RegRoot::kClassesRoot, "", RegAccess::kRead, false, &root),
            RegResult::kOk);
  EXPECT_EQ(root.DeleteSubKey("Both"), RegResult::kOk);
  EXPECT_EQ(Get(RegRoot::kClassesRoot, "Both", false, ""), "machine");
}

// Both backends: what a handle may do, and what it answers once its key is gone.
TEST(RegistryHandles, ReadOnlyHandlesAndStaleHandlesRefuse) {
  RegistrySandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  ASSERT_EQ(Put(RegRoot::kCurrentUser, "Software\\Orvex\\Gone", false, "v", "x"), RegResult::kOk);
  RegistryKey reader;
  ASSERT_EQ(RegistryKey::Open(RegRoot::kCurrentUser, "Software\\Orvex\\Gone", RegAccess::kRead,
                              false, &reader),
            RegResult::kOk);
  const uint8_t byte = 1;
  EXPECT_EQ(reader.SetValue("w", kRegBinary, &byte, 1), RegResult::kAccessDenied);
  RegistryKey parent;
  ASSERT_EQ(
      RegistryKey::Open(RegRoot::kCurrentUser, "Software\\Orvex", RegAccess::kRead, false, &parent),
      RegResult::kOk);
  EXPECT_EQ(parent.DeleteSubKey("gone"), RegResult::kOk);
  EXPECT_EQ(reader.QueryValue("v", nullptr, nullptr, nullptr), RegResult::kNotFound);
  std::string name;
  EXPECT_EQ(reader.EnumValue(0, &name), RegResult::kNotFound);
  // Doubled backslashes separate like single ones; overlong names are refused.
  ASSERT_EQ(Put(RegRoot::kCurrentUser, "A\\B", false, "v", "ab"), RegResult::kOk);
  EXPECT_EQ(Get(RegRoot::kCurrentUser, "A\\\\B", false, "v"), "ab");
  EXPECT_EQ(
      RegistryKey::Create(RegRoot::kCurrentUser, std::string(300, 'k'), false, &reader, nullptr),
      RegResult::kInvalid)
      << RegistryLastError();
}

// Writes kBurst values into its own key, enumerating the other writer's key between
// writes; any registry error ends it with a non-zero code.
ORVEX_CHILD_ROLE(store_writer) {
  const std::string own = "Software\\Orvex\\Writer" + args.at(0);
  const std::string other = "Software\\Orvex\\Writer" + args.at(1);
  for (int i = 0; i < kBurst; ++i) {
    if (Put(RegRoot::kCurrentUser, own, false, "v" + std::to_string(i), std::to_string(i)) !=
        RegResult::kOk) {
      return 2;
    }
    RegistryKey key;
    const RegResult r =
        RegistryKey::Open(RegRoot::kCurrentUser, other, RegAccess::kRead, false, &key);
    if (r == RegResult::kNotFound) continue;
    if (r != RegResult::kOk) return 3;
    std::string name;
    uint32_t index = 0;
    RegResult e;
    while ((e = key.EnumValue(index, &name)) == RegResult::kOk) ++index;
    if (e != RegResult::kNoMoreItems) return 4;
  }
  return 0;
}

TEST_F(RegistryStoreTest, TwoProcessesWritingAndEnumeratingLoseNothing) {
  ProcessObject* a = test::SpawnChild("store_writer", {"A", "B"});
  ProcessObject* b = test::SpawnChild("store_writer", {"B", "A"});
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  int code_a = -1, code_b = -1;
  EXPECT_TRUE(WaitProcess(a, 60000, &code_a));
  EXPECT_TRUE(WaitProcess(b, 60000, &code_b));
  CloseProcess(a);
  CloseProcess(b);
  EXPECT_EQ(code_a, 0);
  EXPECT_EQ(code_b, 0);
  for (const char* who : {"A", "B"}) {
    const std::string path = std::string("Software\\Orvex\\Writer") + who;
    for (int i = 0; i < kBurst; ++i) {
      ASSERT_EQ(Get(RegRoot::kCurrentUser, path, false, "v" + std::to_string(i)), std::to_string(i))
          << who << " value " << i;
    }
  }
}

// Writes v0, v1, ... each followed by "last" = its number, until killed.
ORVEX_CHILD_ROLE(store_endless_writer) {
  for (int i = 0;; ++i) {
    if (Put(RegRoot::kCurrentUser, "Software\\Orvex\\Killed", false, "v" + std::to_string(i),
            std::to_string(i)) != RegResult::kOk ||
        Put(RegRoot::kCurrentUser, "Software\\Orvex\\Killed", false, "last", std::to_string(i)) !=
            RegResult::kOk) {
      return 2;
    }
  }
}

TEST_F(RegistryStoreTest, WriterKilledMidBurstLeavesEveryCommittedChange) {
  ProcessObject* child = test::SpawnChild("store_endless_writer", {});
  ASSERT_NE(child, nullptr);
  // Let it commit for a while, then kill it wherever it is.
  const uint32_t start = TickCount();
  while (Get(RegRoot::kCurrentUser, "Software\\Orvex\\Killed", false, "last") == "<missing>" ||
         std::stoi(Get(RegRoot::kCurrentUser, "Software\\Orvex\\Killed", false, "last")) < 50) {
    ASSERT_LT(TickCount() - start, 30000u) << "the writer made no progress";
    SleepMs(5);
  }
  EXPECT_TRUE(KillProcess(child));
  int code = 0;
  EXPECT_TRUE(WaitProcess(child, 10000, &code));
  CloseProcess(child);
  const std::string last = Get(RegRoot::kCurrentUser, "Software\\Orvex\\Killed", false, "last");
  ASSERT_NE(last, "<missing>");
  const int count = std::stoi(last);
  for (int i = 0; i <= count; ++i) {
    ASSERT_EQ(Get(RegRoot::kCurrentUser, "Software\\Orvex\\Killed", false, "v" + std::to_string(i)),
              std::to_string(i));
  }
  // The store stays writable after the crash.
  EXPECT_EQ(Put(RegRoot::kCurrentUser, "Software\\Orvex\\After", false, "v", "x"), RegResult::kOk);
}

TEST(RegistryStoreDamage, CorruptDatabaseGivesAClearErrorAndIsLeftAlone) {
  if (!RegistrySandbox::KeepsViews()) GTEST_SKIP() << "needs the POSIX store";
  RegistrySandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const std::string file = sandbox.location() + "/user.db";
  const std::string junk(8192, '\x5A');
  {
    std::ofstream out(file, std::ios::binary);
    out << junk;
  }
  RegistryKey key;
  EXPECT_EQ(RegistryKey::Open(RegRoot::kCurrentUser, "Software", RegAccess::kRead, false, &key),
            RegResult::kStoreError);
  EXPECT_EQ(RegistryKey::Create(RegRoot::kCurrentUser, "Software\\X", false, &key, nullptr),
            RegResult::kStoreError);
  EXPECT_FALSE(key.IsOpen());
  const std::string error = RegistryLastError();
  EXPECT_NE(error.find(file), std::string::npos) << error;
  EXPECT_NE(error.find("unreadable"), std::string::npos) << error;
  std::ifstream in(file, std::ios::binary);
  const std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(after, junk) << "the damaged file must not be rewritten";
  // The machine's keys are a separate file and still work.
  EXPECT_EQ(Put(RegRoot::kLocalMachine, "Software\\Orvex", true, "v", "m"), RegResult::kOk);
}

}  // namespace
}  // namespace orvex::platform
