#include "rtd/server_keys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "platform/registry_sandbox.h"
#include "registration/rtd_server_node.h"
#include "registration/testing/registry_dump_test_util.h"
#include "tests/support/child_process.h"

namespace orvex::rtd {
namespace {

using registration_test::DumpRegistry;

// The DLL's own registration and the setup program's node for this server must write
// the same keys, so that each removes what the other wrote.
class ServerKeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sandbox_.ok());
    folder_ = std::filesystem::temp_directory_path() / test::UniqueName("rtd_keys");
    std::filesystem::create_directories(folder_);
    before_ = DumpRegistry();
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::set<std::string> Written() {
    std::set<std::string> now = DumpRegistry();
    std::set<std::string> added;
    for (const std::string& line : now) {
      if (before_.count(line) == 0) added.insert(line);
    }
    return added;
  }
  std::string PlaceDll(bool is64) {
    SfxRegNode_KelRTDServer node;
    const std::filesystem::path path = folder_ / node.GetFileName(is64);
    std::ofstream(path) << "MZ";
    return path.string();
  }

  platform::RegistrySandbox sandbox_;
  std::filesystem::path folder_;
  std::set<std::string> before_;
};

TEST_F(ServerKeysTest, SameKeysAsTheSetupProgramAndEachRemovesTheOthers) {
  for (bool is64 : {true, false}) {
    SCOPED_TRACE(is64 ? "64-bit" : "32-bit");
    const std::string dll = PlaceDll(is64);
    ASSERT_TRUE(RegisterServerKeys(dll, is64));
    const std::set<std::string> ours = Written();
    ASSERT_FALSE(ours.empty());
    // Where the 32-bit view keeps classes depends on the store; the leaves do not.
    auto has = [&](const std::string& tail) {
      return std::count_if(ours.begin(), ours.end(), [&](const std::string& line) {
        return line.starts_with("HKCU:") && line.ends_with(tail);
      });
    };
    EXPECT_EQ(has(std::string(kClsid) + "\\InprocServer32\\[]=" + dll), 1);
    EXPECT_EQ(has(std::string(kLibId) + "\\1.0\\0\\" + (is64 ? "win64" : "win32") + "\\[]=" + dll),
              1);
    EXPECT_EQ(has("KelRTD\\CLSID\\[]=" + std::string(kClsid)), 1);

    // The setup program's node removes what the DLL wrote...
    SfxRegNode_KelRTDServer setup;
    ASSERT_TRUE(setup.FindFile(folder_.string(), is64));
    EXPECT_FALSE(setup.IsRegisteredForAllUsers());
    EXPECT_TRUE(setup.IsRegisteredAnywhere());
    ASSERT_TRUE(setup.Unregister(true));
    EXPECT_TRUE(Written().empty());

    // ...writes the very same lines, and the DLL removes them.
    ASSERT_TRUE(setup.Register(true, is64));
    EXPECT_EQ(Written(), ours);
    ASSERT_TRUE(UnregisterServerKeys());
    EXPECT_TRUE(Written().empty());
    EXPECT_FALSE(setup.IsRegisteredAnywhere());
    std::filesystem::remove(dll);
  }
  EXPECT_TRUE(UnregisterServerKeys());  // nothing left to remove is not a failure
}

}  // namespace
}  // namespace orvex::rtd
