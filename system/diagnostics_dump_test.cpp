#include "system/diagnostics_dump.h"

#include "excel/testing/excel_test_registry.h"
#include "threading/trace.h"

namespace orvex::excel_test {
namespace {

using system::ExcelDiagnosticsText;
using system::RegistryEntriesText;
using system::RegistryEntryText;

TEST(DiagnosticsDumpText, EntriesNameRootViewAndPathInsideTheFrame) {
  const SfRegKeyPath wide(RegRoot::kCurrentUser, "Software\\Classes\\TavXL", true);
  EXPECT_EQ(RegistryEntryText(wide), "HKCU[X64]:\\Software\\Classes\\TavXL");
  EXPECT_EQ(RegistryEntryText(SfRegKeyPath(RegRoot::kLocalMachine, "Software\\X")),
            "HKLM:\\Software\\X");
  EXPECT_EQ(RegistryEntryText(SfRegKeyPath(RegRoot::kClassesRoot, "A")), "HKCR:\\A");
  EXPECT_EQ(RegistryEntryText(SfRegKeyPath(RegRoot::kUsers, "A")), "HKU:\\A");
  EXPECT_EQ(RegistryEntryText(SfRegKeyPath(RegRoot::kNone, "A")), "NULL:\\A");
  EXPECT_EQ(RegistryEntriesText({}), "\nTavXL Registry Entries BEGIN\nTavXL Registry Entries END");
  EXPECT_EQ(RegistryEntriesText({wide, SfRegKeyPath(RegRoot::kLocalMachine, "B")}),
            "\nTavXL Registry Entries BEGIN\nHKCU[X64]:\\Software\\Classes\\TavXL\nHKLM:\\B"
            "\nTavXL Registry Entries END");
}

TEST_F(ExcelRegistryTest, DiagnosticsWithoutExcel) {
  EXPECT_EQ(ExcelDiagnosticsText(),
            "\nExcel Installed: false"
            "\nExcel Path     : "
            "\nExcel Version  : 0"
            "\nExcel RTD      : false"
            "\nExcel Ribbon   : false"
            "\nExcel Bit Count: 0"
            "\nExcel 64 Bit   : false"
            "\nExcel xlArch   : ");
}

TEST_F(ExcelRegistryTest, DiagnosticsOfA64BitExcel16) {
  const std::string exe = MakeFile("excel.exe", PeImage(0x8664));
  RegisterVersion();
  SetClassDefault("Excel.Application\\CLSID", "{X}");
  SetClassDefault("CLSID\\{X}\\LocalServer32", "\"" + exe + "\" /automation");
  const SfRegKeyPath app_paths(
      RegRoot::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\excel.exe");
  ASSERT_TRUE(app_paths.Create());
  ASSERT_TRUE(app_paths.WriteString("Path", Folder() + Separator()));
  EXPECT_EQ(ExcelDiagnosticsText(),
            "\nExcel Installed: true"
            "\nExcel Path     : " +
                exe +
                "\nExcel Version  : 16"
                "\nExcel RTD      : true"
                "\nExcel Ribbon   : true"
                "\nExcel Bit Count: 64"
                "\nExcel 64 Bit   : true"
                "\nExcel xlArch   : 64");

  RegisterVersion("Excel.Application.11");
  const std::string text = ExcelDiagnosticsText();
  EXPECT_NE(text.find("\nExcel RTD      : true\nExcel Ribbon   : false"), std::string::npos);

  // The dump writes both lines; the second is the entry list.
  const std::vector<SfRegKeyPath> entries{SfRegKeyPath(RegRoot::kCurrentUser, "Software\\T")};
  system::DumpDiagnostics(entries);
  EXPECT_EQ(TheTraceRecord().level, kTraceDbg);
  EXPECT_EQ(TheTraceRecord().text, RegistryEntriesText(entries));
}

}  // namespace
}  // namespace orvex::excel_test
