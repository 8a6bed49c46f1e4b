#include <gtest/gtest.h>

#include "platform/registry_sandbox.h"
#include "registration/auto_run.h"
#include "registration/com_nodes.h"
#include "registration/product_nodes.h"
#include "registration/tav_reg_tool.h"
#include "registration/testing/registry_dump_test_util.h"

namespace orvex::registration_test {
namespace {

using platform::RegistrySandbox;
using Lines = std::vector<std::string>;

class RegistrationNodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sandbox_.ok());
    before_ = DumpRegistry();
  }
  Lines Written() const { return Added(before_, DumpRegistry()); }

  RegistrySandbox sandbox_;
  std::set<std::string> before_;
};

TEST_F(RegistrationNodeTest, ProgIdWithCurVerWritesBothKeysAndRemovesBoth) {
  SfxRegNode_ProgID node;
  node.prog_id = "Orvex.Test";
  node.clsid = "{C}";
  node.description = "Test class";
  node.cur_ver = "Orvex.Test.1";
  ASSERT_TRUE(node.Register(true, true));
  EXPECT_EQ(Written(), (Lines{
                           "HKCU:Software\\Classes\\Orvex.Test.1\\CLSID\\[]={C}",
                           "HKCU:Software\\Classes\\Orvex.Test.1\\[]=Test class",
                           "HKCU:Software\\Classes\\Orvex.Test\\CLSID\\[]={C}",
                           "HKCU:Software\\Classes\\Orvex.Test\\CurVer\\[]=Orvex.Test.1",
                           "HKCU:Software\\Classes\\Orvex.Test\\[]=Test class",
                       }));
  SfxRegNode_ProgID fresh;  // as a flow builds it: no place chosen yet
  fresh.prog_id = "Orvex.Test";
  fresh.cur_ver = "Orvex.Test.1";
  EXPECT_TRUE(fresh.RemoveEverywhere());
  EXPECT_TRUE(Written().empty()) << "the versioned ProgID goes with it";

  SfxRegNode_ProgID unnamed;
  unnamed.description = "no id";
  EXPECT_FALSE(unnamed.Register(true, true));
  EXPECT_TRUE(Written().empty());
}

TEST_F(RegistrationNodeTest, ServerPathChoosesLocalOrInprocServer) {
  SfxRegNode_ClsID node;
  node.SetServerPath("\"C:\\Orvex\\Server.EXE\"");
  EXPECT_EQ(node.local_server32, "\"C:\\Orvex\\Server.EXE\"") << "quotes kept";
  EXPECT_EQ(node.inproc_server32, "");
  node.SetServerPath("C:\\Orvex\\Server.dll");
  EXPECT_EQ(node.inproc_server32, "C:\\Orvex\\Server.dll");
  EXPECT_EQ(node.local_server32, "");
  node.SetServerPath("C:\\Orvex\\exe");
  EXPECT_EQ(node.inproc_server32, "C:\\Orvex\\exe") << "a name merely ending in exe";

  node.clsid = "{K}";
  node.prog_id = "Orvex.K";
  ASSERT_TRUE(node.Register(false, true));
  EXPECT_EQ(Written(), (Lines{
                           "HKLM:Software\\Classes\\CLSID\\{K}\\InprocServer32\\[]=C:\\Orvex\\exe",
                           "HKLM:Software\\Classes\\CLSID\\{K}\\ProgID\\[]=Orvex.K",
                           "HKLM:Software\\Classes\\CLSID\\{K}\\[]=",
                       }))
      << "empty description written, empty children not";
}

TEST_F(RegistrationNodeTest, InterfaceAndTypeLibFillTheirDefaults) {
  SfxRegNode_Interface missing;
  missing.iid = "{I}";
  missing.name = "IRibbonCallback";
  EXPECT_FALSE(missing.Register(true, true)) << "no type library";
  SfxRegNode_TypeLib no_path;
  no_path.lib_id = "{L}";
  EXPECT_FALSE(no_path.Register(true, true));
  EXPECT_TRUE(Written().empty());

  SfxRegNode_Interface iface = missing;
  iface.type_lib = "{L}";
  ASSERT_TRUE(iface.Register(true, true));
  EXPECT_EQ(iface.type_lib_version, "1.0");
  SfxRegNode_TypeLib lib;
  lib.lib_id = "{L}";
  lib.description = "Lib";
  lib.win64_path = "C:\\x64.dll";
  ASSERT_TRUE(lib.Register(true, true));
  EXPECT_EQ(Written(), (Lines{
                           "HKCU:Software\\Classes\\Interface\\{I}\\ProxyStubClsid32\\[]="
                           "{00020424-0000-0000-C000-000000000046}",
                           "HKCU:Software\\Classes\\Interface\\{I}\\TypeLib\\[Version]=1.0",
                           "HKCU:Software\\Classes\\Interface\\{I}\\TypeLib\\[]={L}",
                           "HKCU:Software\\Classes\\Interface\\{I}\\[]=IRibbonCallback",
                           "HKCU:Software\\Classes\\TypeLib\\{L}\\1.0\\0\\win64\\[]=C:\\x64.dll",
                           "HKCU:Software\\Classes\\TypeLib\\{L}\\1.0\\FLAGS\\[]=",
                           "HKCU:Software\\Classes\\TypeLib\\{L}\\1.0\\[]=Lib",
                       }));
}

TEST_F(RegistrationNodeTest, ProductNodesWriteTheirValues) {
  SfxRegNode_ExcelComAddIn addin;
  addin.prog_id = "Orvex.AddIn";
  addin.description = "Desc";
  addin.friendly_name = "Desc";
  addin.load_behavior = 3;
  ASSERT_TRUE(addin.Register(true, true));
  SfxRegNode_MyProductInfo info;
  info.name = "Oxlade";
  info.path = "C:\\Orvex";
  info.per_user = false;
  info.x64 = true;
  ASSERT_TRUE(info.Register(false, true));
  SfxRegNode_InstallerInfo stamp(InstallerKeyPath("TavXL"));
  stamp.time_stamp = "2026-12-09.10:00:00";
  ASSERT_TRUE(stamp.WriteTimeStamp(false, true));
  EXPECT_EQ(
      Written(),
      (Lines{
          "HKCU:Software\\Microsoft\\Office\\Excel\\Addins\\Orvex.AddIn\\[Description]=Desc",
          "HKCU:Software\\Microsoft\\Office\\Excel\\Addins\\Orvex.AddIn\\[FriendlyName]=Desc",
          "HKCU:Software\\Microsoft\\Office\\Excel\\Addins\\Orvex.AddIn\\[LoadBehavior]=dword:3",
          "HKLM:Software\\Orvex Data Services\\Installer\\TavXL\\[TimeStamp]=2026-12-09.10:00:00",
          "HKLM:Software\\Orvex Data Services\\XLInfo\\[CU]=dword:0",
          "HKLM:Software\\Orvex Data Services\\XLInfo\\[Name]=Oxlade",
          "HKLM:Software\\Orvex Data Services\\XLInfo\\[Path]=C:\\Orvex",
          "HKLM:Software\\Orvex Data Services\\XLInfo\\[X64]=dword:1",
      }));
  SfxRegNode_InstallerInfo read(InstallerKeyPath("TavXL"));
  EXPECT_TRUE(read.ReadTimeStamp(false, true));
  EXPECT_EQ(read.time_stamp, "2026-12-09.10:00:00");
  EXPECT_FALSE(read.ReadTimeStamp(true, true));
  EXPECT_EQ(read.time_stamp, "") << "no per-user copy";
}

// A tool entry whose program was found at `path`.
class FoundEntry : public SfxRegNode_TavRegTool::TRegAU {
 public:
  explicit FoundEntry(const std::string& path, const char* arguments = "RunAU")
      : arguments_(arguments) {
    Refresh();
    set_command_path(path);
  }
  std::string GetArguments(bool) const override { return arguments_; }

 private:
  const char* arguments_;
};

TEST_F(RegistrationNodeTest, RunValuesAreQuotedOnceAndHaveNoTrailingBlank) {
  EXPECT_EQ(FoundEntry(" C:\\Orvex\\TavRegW.exe ").CommandLine(),
            "\"C:\\Orvex\\TavRegW.exe\" RunAU");
  EXPECT_EQ(FoundEntry("\"C:\\Orvex\\TavRegW.exe\"").CommandLine(),
            "\"C:\\Orvex\\TavRegW.exe\" RunAU");
  EXPECT_EQ(FoundEntry("C:\\Orvex\\TavRegW.exe", " ").CommandLine(), "\"C:\\Orvex\\TavRegW.exe\"");
  EXPECT_FALSE(FoundEntry("  ").Register(true)) << "no program, no value";

  ASSERT_TRUE(FoundEntry("C:\\Orvex\\TavRegW.exe").Register(false));
  EXPECT_EQ(Written(),
            (Lines{"HKLM:" + MachineDefaultView("Microsoft\\Windows\\CurrentVersion\\Run") +
                   "\\[TavRunAU]=\"C:\\Orvex\\TavRegW.exe\" RunAU"}))
      << "in the default view";
}

TEST_F(RegistrationNodeTest, UnregisterRemovesTheValueFromEveryPlace) {
  const char* run = kRunKeyPath;
  std::vector<SfRegKeyPath> places{SfRegKeyPath(RegRoot::kLocalMachine, run, true),
                                   SfRegKeyPath(RegRoot::kLocalMachine, run, false),
                                   SfRegKeyPath(RegRoot::kCurrentUser, run, false)};
  for (const SfRegKeyPath& key : places) {
    ASSERT_TRUE(key.Create());
    ASSERT_TRUE(key.WriteString("TavRunAU", "x"));
    ASSERT_TRUE(key.WriteString("Other", "kept"));
  }
  SfxRegNode_TavRegTool::TRegAU entry;
  EXPECT_TRUE(entry.IsRegistered());
  EXPECT_TRUE(entry.IsRegisteredForAllUsers());
  ASSERT_TRUE(entry.Unregister(true));
  EXPECT_FALSE(places[2].ValueExists("TavRunAU")) << "per user only";
  EXPECT_TRUE(places[0].ValueExists("TavRunAU")) << "the all-users values stay";
  EXPECT_TRUE(entry.IsRegisteredForAllUsers());
  EXPECT_TRUE(entry.Unregister());
  for (const SfRegKeyPath& key : places) {
    EXPECT_FALSE(key.ValueExists("TavRunAU"));
    EXPECT_TRUE(key.ValueExists("Other"));
  }
  EXPECT_FALSE(entry.IsRegistered());
  EXPECT_TRUE(entry.Unregister()) << "nothing left is success";
}

}  // namespace
}  // namespace orvex::registration_test
