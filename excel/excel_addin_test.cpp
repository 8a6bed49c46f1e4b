#include "excel/excel_addin.h"

#include <algorithm>

#include "excel/testing/excel_test_registry.h"

namespace orvex::excel_test {
namespace {

namespace util = SfExcelUtil;

// Name → data of every value of a key, in enumeration order.
std::vector<std::pair<std::string, std::string>> Contents(const SfRegKeyPath& key) {
  std::vector<std::pair<std::string, std::string>> contents;
  std::vector<std::string> names;
  key.EnumValueNames("", "", &names);
  for (const std::string& name : names) {
    std::string data;
    key.ReadString(name, &data);
    contents.emplace_back(name, data);
  }
  return contents;
}

// The same, by name: renumbering re-creates values, which moves them to the end.
std::vector<std::pair<std::string, std::string>> ByName(const SfRegKeyPath& key) {
  auto contents = Contents(key);
  std::sort(contents.begin(), contents.end());
  return contents;
}

std::string Load(const std::string& path) {
  return "/R \"" + path + "\"";
}

class ExcelAddInTest : public ExcelRegistryTest {
 protected:
  void SetUp() override {
    ExcelRegistryTest::SetUp();
    RegisterVersion();
    ASSERT_TRUE(Options().Create());
    ASSERT_TRUE(Manager().Create());
  }
  static SfRegKeyPath Options() { return UserKey("Options"); }
  static SfRegKeyPath Manager() { return UserKey("Add-in Manager"); }
  static void SetOpen(const char* name, const std::string& data) {
    ASSERT_TRUE(Options().WriteString(name, data));
  }
  using Contents_t = std::vector<std::pair<std::string, std::string>>;
};

TEST_F(ExcelAddInTest, OpenNamesFillTheFirstGap) {
  std::string name;
  ASSERT_TRUE(util::FindFreeOpenValueName(&name));
  EXPECT_EQ(name, "OPEN");
  SetOpen("OPEN1", Load("C:\\A\\a.xll"));
  ASSERT_TRUE(util::AddOpenEntry("C:\\B\\b.xll"));
  SetOpen("OPEN3", "");
  ASSERT_TRUE(util::AddOpenEntry("\"C:\\C\\c.xll\""));
  EXPECT_EQ(ByName(Options()), (Contents_t{{"OPEN", Load("C:\\B\\b.xll")},
                                           {"OPEN1", Load("C:\\A\\a.xll")},
                                           {"OPEN2", "/R \"C:\\C\\c.xll\""},
                                           {"OPEN3", ""}}));
}

TEST_F(ExcelAddInTest, FindOpenEntriesNeedsPrefixClosingQuoteAndPlainText) {
  SetOpen("OPEN", Load("C:\\A\\x.xll"));
  SetOpen("open4", "/r \"D:\\B\\X.XLL\"");
  SetOpen("OPEN1", "C:\\A\\x.xll");          // no load prefix
  SetOpen("OPEN2", "/R \"C:\\A\\x.xll");     // no closing quote
  SetOpen("OPEN3", "/R \"C:\\A\\zx.xll\"");  // another file name
  SetOpen("NOTOPEN", Load("C:\\A\\x.xll"));
  ASSERT_TRUE(Options().WriteValue(
      "OPEN5", {'/', 'R', ' ', '"', '\\', 'x', '.', 'x', 'l', 'l', '"', 0}, kRegExpandSz));
  std::vector<SfRegValue> found;
  ASSERT_TRUE(util::FindOpenEntries("E:\\any\\X.xll", false, &found));
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].name, "OPEN");
  EXPECT_EQ(found[1].name, "open4");
  ASSERT_TRUE(util::FindOpenEntries("c:\\a\\X.XLL", true, &found));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, "OPEN");
  EXPECT_EQ(util::RemoveOpenEntries("x.xll"), 2);
  EXPECT_TRUE(Options().ValueExists("OPEN1"));
  EXPECT_TRUE(Options().ValueExists("OPEN2"));
  EXPECT_TRUE(Options().ValueExists("OPEN5"));
}

TEST_F(ExcelAddInTest, RenumberingMovesDataInOrderAndIgnoresOtherNames) {
  SetOpen("OPEN5", Load("C:\\five.xll"));
  SetOpen("OPENX", Load("C:\\x.xll"));
  SetOpen("OPEN", Load("C:\\zero.xll"));
  SetOpen("OPEN2", "not a load entry");
  ASSERT_TRUE(util::RenumberOpenValues());
  std::string data;
  EXPECT_TRUE(Options().ReadString("OPEN", &data));
  EXPECT_EQ(data, Load("C:\\zero.xll"));
  EXPECT_TRUE(Options().ReadString("OPEN1", &data));
  EXPECT_EQ(data, "not a load entry");
  EXPECT_TRUE(Options().ReadString("OPEN2", &data));
  EXPECT_EQ(data, Load("C:\\five.xll"));
  EXPECT_FALSE(Options().ValueExists("OPEN5"));
  EXPECT_TRUE(Options().ReadString("OPENX", &data));
  EXPECT_EQ(data, Load("C:\\x.xll"));
}

TEST_F(ExcelAddInTest, RenumberingKeepsTypesAndNeverOverwrites) {
  ASSERT_TRUE(Options().WriteValue("OPEN3", {1, 2, 3}, 3));
  ASSERT_TRUE(util::RenumberOpenValues());
  SfRegValue value;
  ASSERT_TRUE(Options().ReadValue("OPEN", &value));
  EXPECT_EQ(value.type, 3u);
  EXPECT_EQ(value.data, (std::vector<uint8_t>{1, 2, 3}));
  // "OPEN0" also reads as number 0, so moving "OPEN" to position 1 would land on the
  // existing OPEN1: the move must refuse instead of destroying that value.
  SetOpen("OPEN0", "zero");
  SetOpen("OPEN1", "one");
  EXPECT_FALSE(util::RenumberOpenValues());
  std::vector<std::string> datas;
  for (const auto& [name, data] : Contents(Options())) datas.push_back(data);
  EXPECT_EQ(datas.size(), 3u);
  EXPECT_NE(std::find(datas.begin(), datas.end(), "zero"), datas.end());
  EXPECT_NE(std::find(datas.begin(), datas.end(), "one"), datas.end());
}

TEST_F(ExcelAddInTest, EnablingReplacesTheSameFileFromAnotherFolder) {
  const std::string old_copy = MakeFile(std::string("B") + Separator() + "x.xll");
  const std::string new_copy = MakeFile(std::string("A") + Separator() + "x.xll");
  SetOpen("OPEN", Load(old_copy));
  SetOpen("OPEN1", Load("C:\\Other\\y.xll"));
  std::string out;
  EXPECT_EQ(util::EnableAddIn(new_copy, &out), 1);
  EXPECT_EQ(out, "Enable for '" + new_copy + "' OK");
  EXPECT_EQ(ByName(Options()),
            (Contents_t{{"OPEN", Load(new_copy)}, {"OPEN1", Load("C:\\Other\\y.xll")}}));

  out.clear();
  EXPECT_EQ(util::EnableAddIn(new_copy, &out), 1) << "already enabled";
  EXPECT_EQ(out, "Enable for '" + new_copy + "' OK");
  EXPECT_EQ(Contents(Options()).size(), 2u);

  out.clear();
  EXPECT_EQ(util::EnableAddIn(Folder(), &out), -1);
  EXPECT_EQ(out, "File '" + Folder() + "' not found");
  out.clear();
  EXPECT_EQ(util::EnableAddIn(Folder() + Separator() + "none.xll", &out), -1);
  EXPECT_EQ(out, "File '" + Folder() + Separator() + "none.xll' not found");
}

TEST_F(ExcelAddInTest, DisablingByFileNameRemovesEveryFolderAndRenumbers) {
  SetOpen("OPEN", Load("C:\\A\\x.xll"));
  SetOpen("OPEN1", Load("C:\\Keep\\k.xll"));
  SetOpen("OPEN2", Load("D:\\B\\X.XLL"));
  SetOpen("OPEN3", Load("C:\\Last\\l.xll"));
  std::string out;
  EXPECT_EQ(util::IsAddInEnabled("x.xll", &out), 1);
  EXPECT_EQ(out, "Add in 'x.xll' IS enabled");
  out.clear();
  EXPECT_EQ(util::IsAddInEnabled("C:\\B\\x.xll", &out), 0) << "a path compares whole";
  EXPECT_EQ(out, "Add in 'C:\\B\\x.xll' IS NOT enabled");
  out.clear();
  EXPECT_EQ(util::DisableAddIn("x.xll", &out), 1);
  EXPECT_EQ(out, "Disable for 'x.xll' OK");
  EXPECT_EQ(ByName(Options()),
            (Contents_t{{"OPEN", Load("C:\\Keep\\k.xll")}, {"OPEN1", Load("C:\\Last\\l.xll")}}));
  out.clear();
  EXPECT_EQ(util::DisableAddIn("x.xll", &out), -1);
  EXPECT_EQ(out, "Disable for 'x.xll' FAILED");
}

TEST_F(ExcelAddInTest, AddInManagerMatchesBySeparatorAndFileName) {
  for (const char* name : {"C:\\Any\\Name.xll", "Name.xll", "C:\\Any\\OtherName.xll"}) {
    ASSERT_TRUE(Manager().WriteString(name, ""));
  }
  std::vector<std::string> names;
  ASSERT_TRUE(util::FindAddInManagerEntries("D:\\Else\\NAME.XLL", &names));
  EXPECT_EQ(names, std::vector<std::string>{"C:\\Any\\Name.xll"});
  std::string out;
  EXPECT_EQ(util::IsAddInRegistered("name.xll", &out), 1);
  EXPECT_EQ(out, "Add in 'name.xll' IS registered");
  out.clear();
  EXPECT_EQ(util::IsAddInRegistered("D:\\Else\\Name.xll", &out), 0)
      << "a path needs its exact value";
  EXPECT_EQ(out, "Add in 'D:\\Else\\Name.xll' IS NOT registered");
  EXPECT_EQ(util::RemoveAddInManagerEntries("name.xll"), 1);
  EXPECT_TRUE(Manager().ValueExists("Name.xll"));
  EXPECT_EQ(util::RemoveAddInManagerEntries("C:\\Any\\"), 0) << "a folder names no add-in";
}

TEST_F(ExcelAddInTest, RegisteringReplacesTheEntryOfAnotherFolder) {
  const std::string path = MakeFile(std::string("New") + Separator() + "Name.xll");
  ASSERT_TRUE(Manager().WriteString("C:\\Old\\Name.xll", ""));
  std::string out;
  EXPECT_EQ(util::RegisterAddIn(path, &out), 1);
  EXPECT_EQ(out, "Registering '" + path + "' OK");
  EXPECT_EQ(Contents(Manager()), (Contents_t{{path, ""}}));
  SfRegValue value;
  ASSERT_TRUE(Manager().ReadValue(path, &value));
  EXPECT_EQ(value.type, kRegSz);
  EXPECT_EQ(value.data, std::vector<uint8_t>{0});

  out.clear();
  EXPECT_EQ(util::RegisterAddIn(Folder(), &out), -1);
  EXPECT_EQ(out, "File '" + Folder() + "' not found");
  out.clear();
  EXPECT_EQ(util::UnregisterAddIn(path, &out), 1);
  EXPECT_EQ(out, "Unregistering '" + path + "' OK");
  out.clear();
  EXPECT_EQ(util::UnregisterAddIn(path, &out), -1);
  EXPECT_EQ(out, "Unregistering '" + path + "' FAILED");
}

TEST_F(ExcelAddInTest, ABareFileNameIsWrittenWithItsFolderAndCanBeRemoved) {
  MakeFile("bare.xll");
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir_);
  const std::string full = (std::filesystem::current_path() / "bare.xll").string();
  std::string out;
  const int registered = util::RegisterAddIn("bare.xll", &out);
  const int enabled = util::EnableAddIn("bare.xll", &out);
  std::filesystem::current_path(before);
  EXPECT_EQ(registered, 1);
  EXPECT_EQ(enabled, 1);
  EXPECT_EQ(out,
            "Registering 'bare.xll' OK"
            "Enable for 'bare.xll' OK")
      << "messages as typed";
  EXPECT_EQ(Contents(Manager()), (Contents_t{{full, ""}}));
  EXPECT_EQ(Contents(Options()), (Contents_t{{"OPEN", Load(full)}}));
  out.clear();
  EXPECT_EQ(util::UnregisterAddIn("bare.xll", &out), 1);
  EXPECT_EQ(util::DisableAddIn("bare.xll", &out), 1);
  EXPECT_TRUE(Contents(Manager()).empty());
  EXPECT_TRUE(Contents(Options()).empty());
}

TEST_F(ExcelAddInTest, InstallAndUninstallForTheBus) {
  SetOpen("OPEN", Load("C:\\Older\\bus.xll"));
  SetOpen("OPEN1", Load("C:\\Other\\o.xll"));
  ASSERT_TRUE(util::InstallAddIn("C:\\Bus\\bus.xll"));
  EXPECT_EQ(ByName(Options()),
            (Contents_t{{"OPEN", Load("C:\\Bus\\bus.xll")}, {"OPEN1", Load("C:\\Other\\o.xll")}}));
  EXPECT_TRUE(Manager().ValueExists("C:\\Bus\\bus.xll"));
  ASSERT_TRUE(util::InstallAddIn("C:\\Bus\\bus.xll"));
  EXPECT_EQ(Contents(Options()).size(), 2u) << "installing twice adds nothing";

  EXPECT_TRUE(util::UninstallAddIn("bus.xll"));
  EXPECT_EQ(ByName(Options()), (Contents_t{{"OPEN", Load("C:\\Other\\o.xll")}}));
  EXPECT_TRUE(Contents(Manager()).empty());
  EXPECT_FALSE(util::UninstallAddIn("bus.xll"));
}

TEST(ExcelSwitch, RegXllIsFoundAnywhereInAnyCase) {
  EXPECT_TRUE(util::HasRegXllSwitch("Corvane.exe /REGxll"));
  EXPECT_TRUE(util::HasRegXllSwitch("x/regxllz"));
  EXPECT_TRUE(util::HasRegXllSwitch("//regXLL"));
  EXPECT_FALSE(util::HasRegXllSwitch("/regXL"));
  EXPECT_FALSE(util::HasRegXllSwitch("regXLL"));
  EXPECT_FALSE(util::HasRegXllSwitch(""));
}

// Without an Excel version the keys cannot be named: nothing may be written anywhere,
// least of all at the top of HKEY_CURRENT_USER.
TEST_F(ExcelRegistryTest, NoExcelVersionMeansNoWritesAndNoDeletes) {
  const SfRegKeyPath root(RegRoot::kCurrentUser, "");
  ASSERT_TRUE(SfRegKeyPath(RegRoot::kCurrentUser, "Options").Create());
  ASSERT_TRUE(
      SfRegKeyPath(RegRoot::kCurrentUser, "Options").WriteString("OPEN", Load("C:\\A\\x.xll")));
  ASSERT_TRUE(root.WriteString("C:\\A\\x.xll", ""));
  const std::string file = MakeFile("x.xll");
  std::string out, name;
  EXPECT_FALSE(util::FindFreeOpenValueName(&name));
  EXPECT_FALSE(util::AddOpenEntry(file));
  EXPECT_EQ(util::RemoveOpenEntries("x.xll"), 0);
  EXPECT_FALSE(util::RenumberOpenValues());
  EXPECT_FALSE(util::WriteAddInManagerEntry(file));
  EXPECT_FALSE(util::EnsureAddInManagerEntry(file));
  EXPECT_EQ(util::EnsureAddInManagerKey(), -1);
  EXPECT_EQ(util::RemoveAddInManagerEntries("x.xll"), 0);
  EXPECT_EQ(util::RegisterAddIn(file, &out), -1);
  EXPECT_EQ(util::EnableAddIn(file, &out), -1);
  EXPECT_EQ(util::DisableAddIn("x.xll", &out), -1);
  EXPECT_EQ(util::UnregisterAddIn("x.xll", &out), -1);
  EXPECT_EQ(util::IsAddInRegistered("x.xll", &out), 0);
  EXPECT_FALSE(util::InstallAddIn(file));
  EXPECT_FALSE(util::UninstallAddIn("x.xll"));

  std::vector<std::string> keys, values;
  ASSERT_TRUE(root.EnumSubKeys(&keys));
  EXPECT_EQ(keys, std::vector<std::string>{"Options"});
  ASSERT_TRUE(root.EnumValueNames("", "", &values));
  EXPECT_EQ(values, std::vector<std::string>{"C:\\A\\x.xll"});
  ASSERT_TRUE(SfRegKeyPath(RegRoot::kCurrentUser, "Options").EnumValueNames("", "", &values));
  EXPECT_EQ(values, std::vector<std::string>{"OPEN"});
}

}  // namespace
}  // namespace orvex::excel_test
