#include "excel/excel_discovery.h"

#include "excel/testing/excel_test_registry.h"
#include "platform/process.h"

namespace orvex::excel_test {
namespace {

namespace util = SfExcelUtil;

constexpr const char* kClsid = "{00024500-0000-0000-C000-000000000046}";

class ExcelDiscoveryTest : public ExcelRegistryTest {
 protected:
  void RegisterServer(const char* value_key, const std::string& command) {
    SetClassDefault("Excel.Application\\CLSID", kClsid);
    SetClassDefault(std::string("CLSID\\") + kClsid + "\\" + value_key, command);
  }
  static std::string Path() {
    std::string path;
    util::GetExcelPath(&path);
    return path;
  }
  static std::string Unquoted() {
    std::string path;
    util::GetExcelPathUnquoted(&path);
    return path;
  }
};

TEST_F(ExcelDiscoveryTest, NothingRegisteredFailsEveryLookup) {
  std::string text = "stale";
  EXPECT_FALSE(util::GetExcelPath(&text));
  EXPECT_EQ(text, "");
  EXPECT_FALSE(util::GetExcelPathUnquoted(&text));
  EXPECT_EQ(util::GetExcelBitness(), 0);
  EXPECT_FALSE(util::GetExcelVersion(&text));
  EXPECT_EQ(util::GetExcelVersionNumber(), 0u);
  EXPECT_FALSE(util::GetExcelUserKey(&text));
  EXPECT_EQ(text, "");
}

TEST_F(ExcelDiscoveryTest, LocalServer32IsTrimmedAndLosesTheAutomationSwitch) {
  RegisterServer("LocalServer32", " \tC:\\Office\\EXCEL.EXE \r\n");
  EXPECT_EQ(Path(), "C:\\Office\\EXCEL.EXE");
  RegisterServer("LocalServer32", "\"C:\\Program Files\\EXCEL.EXE\" /AUTOMATION");
  EXPECT_EQ(Path(), "\"C:\\Program Files\\EXCEL.EXE\"");
  EXPECT_EQ(Unquoted(), "C:\\Program Files\\EXCEL.EXE");
  RegisterServer("LocalServer32", "C:\\X\\EXCEL.EXE /Automation ");
  EXPECT_EQ(Path(), "C:\\X\\EXCEL.EXE /Automation") << "the switch must end the text";
  RegisterServer("LocalServer32", " /automation");
  std::string path = "stale";
  EXPECT_FALSE(util::GetExcelPath(&path)) << "nothing left is a failure";
  EXPECT_EQ(path, "");
}

TEST_F(ExcelDiscoveryTest, LocalServerIsTheFallback) {
  RegisterServer("LocalServer", "C:\\Old\\EXCEL.EXE /automation");
  EXPECT_EQ(Path(), "C:\\Old\\EXCEL.EXE");
  // A LocalServer32 value that is no text counts as missing.
  const SfRegKeyPath modern(RegRoot::kClassesRoot,
                            std::string("CLSID\\") + kClsid + "\\LocalServer32");
  ASSERT_TRUE(modern.Create());
  ASSERT_TRUE(modern.WriteDword("", 7));
  EXPECT_EQ(Path(), "C:\\Old\\EXCEL.EXE");
  ASSERT_TRUE(modern.WriteString("", "C:\\New\\EXCEL.EXE"));
  EXPECT_EQ(Path(), "C:\\New\\EXCEL.EXE");
}

TEST_F(ExcelDiscoveryTest, QuotesAreRemovedOnlyInPairs) {
  RegisterServer("LocalServer32", "\"C:\\X\\EXCEL.EXE");
  EXPECT_EQ(Unquoted(), "\"C:\\X\\EXCEL.EXE");
  RegisterServer("LocalServer32", "\"\"\"");
  EXPECT_EQ(Unquoted(), "\"");
  RegisterServer("LocalServer32", "\"\"");
  std::string path;
  EXPECT_FALSE(util::GetExcelPathUnquoted(&path));
}

TEST_F(ExcelDiscoveryTest, CurVerGivesVersionNumberAndUserKey) {
  RegisterVersion("Excel.Application.16");
  std::string text;
  ASSERT_TRUE(util::GetExcelVersion(&text));
  EXPECT_EQ(text, "16.0");
  EXPECT_EQ(util::GetExcelVersionNumber(), 16u);
  ASSERT_TRUE(util::GetExcelUserKey(&text));
  EXPECT_EQ(text, "Software\\Microsoft\\Office\\16.0\\Excel");

  RegisterVersion("excel.APPLICATION.15 \t");
  EXPECT_EQ(util::GetExcelVersionNumber(), 15u) << "prefix in any case, trailing blanks";
  ASSERT_TRUE(util::GetExcelVersion(&text));
  EXPECT_EQ(text, "15 \t.0");
  ASSERT_TRUE(util::GetExcelUserKey(&text));
  EXPECT_EQ(text, "Software\\Microsoft\\Office\\15.0\\Excel") << "the blank is no part of it";

  RegisterVersion("Excel.Application.16a");
  EXPECT_EQ(util::GetExcelVersionNumber(), 0u);
  ASSERT_TRUE(util::GetExcelVersion(&text));
  EXPECT_EQ(text, "16a.0");
  EXPECT_FALSE(util::GetExcelUserKey(&text)) << "no branch Office\\16a.0";
  EXPECT_EQ(text, "");

  for (const char* bad :
       {"Excel.Application.", "Excel.Application. 16", "Excel.Application.99999999999"}) {
    RegisterVersion(bad);
    EXPECT_EQ(util::GetExcelVersionNumber(), 0u) << bad;
  }
}

TEST_F(ExcelDiscoveryTest, AnotherPrefixFailsEveryVersionLookup) {
  RegisterVersion("Excel.Sheet.12");
  std::string text;
  EXPECT_FALSE(util::GetExcelVersion(&text));
  EXPECT_EQ(util::GetExcelVersionNumber(), 0u);
  EXPECT_FALSE(util::GetExcelUserKey(&text));
}

TEST_F(ExcelDiscoveryTest, BitnessComesFromTheExecutableHeader) {
  RegisterServer("LocalServer32",
                 "\"" + MakeFile("excel32.exe", PeImage(0x014C)) + "\" /automation");
  EXPECT_EQ(util::GetExcelBitness(), 32);
  RegisterServer("LocalServer32", MakeFile("excel64.exe", PeImage(0x8664)));
  EXPECT_EQ(util::GetExcelBitness(), 64);
  RegisterServer("LocalServer32", MakeFile("dos.exe", PeImage(0, false)));
  EXPECT_EQ(util::GetExcelBitness(), 0) << "a DOS program is neither";
  RegisterServer("LocalServer32", Folder() + Separator() + "missing.exe");
  EXPECT_EQ(util::GetExcelBitness(), 0);
  // This test program itself: its own pointer size says what it must be.
  RegisterServer("LocalServer32", platform::CurrentExecutablePath());
  EXPECT_EQ(util::GetExcelBitness(), sizeof(void*) == 8 ? 64 : 32);
}

class AppPathsTest : public ExcelDiscoveryTest {
 protected:
  static SfRegKeyPath AppPaths() {
    return SfRegKeyPath(RegRoot::kLocalMachine,
                        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\excel.exe");
  }
  void TearDown() override {
    platform::SetEnvVar("ORVEX_TEST_OFFICE", nullptr);
    ExcelDiscoveryTest::TearDown();
  }
};

TEST_F(AppPathsTest, MissingKeyOrValueAnswersMinusOne) {
  std::string text, printed;
  EXPECT_EQ(util::GetExcelBitnessFromAppPaths(&text, &printed), -1);
  EXPECT_EQ(printed, "\nMissing App Paths\\excel.exe in registry\n");
  ASSERT_TRUE(AppPaths().Create());
  printed.clear();
  EXPECT_EQ(util::GetExcelBitnessFromAppPaths(&text, &printed), -1);
  EXPECT_EQ(printed, "\nMissing excel Path in registry\n");
}

TEST_F(AppPathsTest, LeadingReferenceIsExpandedAndSecondFolderCut) {
  MakeFile(std::string("Office16") + Separator() + "excel.exe", PeImage(0x8664));
  const std::string folder = Folder() + Separator();
  platform::SetEnvVar("ORVEX_TEST_OFFICE", folder.c_str());
  ASSERT_TRUE(AppPaths().Create());
  const std::string value =
      "  %orvex_test_office%Office16" + std::string(1, Separator()) + ";D:\\Other\\ ";
  ASSERT_TRUE(AppPaths().WriteString("Path", value));
  std::string text, printed;
  EXPECT_EQ(util::GetExcelBitnessFromAppPaths(&text, &printed), 64);
  EXPECT_EQ(text, "64");
  const std::string exe = folder + "Office16" + Separator() + "excel.exe";
  EXPECT_EQ(printed, "\nExpandEnvironmentVariableFromStartofThePath=" + value + "\n" +
                         "\nExcel path: " + exe + "\n");
}

TEST_F(AppPathsTest, OtherTypesAndMissingFiles) {
  ASSERT_TRUE(AppPaths().Create());
  MakeFile("excel.exe", PeImage(0, false));
  ASSERT_TRUE(AppPaths().WriteString("Path", Folder() + Separator()));
  std::string text, printed;
  EXPECT_EQ(util::GetExcelBitnessFromAppPaths(&text, &printed), 0);
  EXPECT_EQ(text, "unknown");
  EXPECT_NE(printed.find("\nUnknown Excel bit version\n"), std::string::npos);

  MakeFile(std::string("x86") + Separator() + "excel.exe", PeImage(0x014C));
  ASSERT_TRUE(AppPaths().WriteString("Path", Folder() + Separator() + "x86" + Separator()));
  EXPECT_EQ(util::GetExcelBitnessFromAppPaths(&text, nullptr), 32);
  EXPECT_EQ(text, "32");

  // Not a reference at the start: nothing is expanded, the file is then missing.
  ASSERT_TRUE(AppPaths().WriteString("Path", "x%ORVEX_TEST_OFFICE%"));
  printed.clear();
  EXPECT_EQ(util::GetExcelBitnessFromAppPaths(&text, &printed), -1);
  EXPECT_EQ(text, "x%ORVEX_TEST_OFFICE%excel.exe");

  ASSERT_TRUE(AppPaths().WriteString("Path", ""));
  printed.clear();
  EXPECT_EQ(util::GetExcelBitnessFromAppPaths(&text, &printed), -1);
  EXPECT_EQ(printed, "\nExcel path.length==0\n\nExcel path: excel.exe\n");
}

}  // namespace
}  // namespace orvex::excel_test
