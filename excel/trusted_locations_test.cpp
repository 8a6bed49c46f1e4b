#include "excel/trusted_locations.h"

#include "excel/testing/excel_test_registry.h"

namespace orvex::excel_test {
namespace {

namespace util = SfExcelUtil;

class TrustedLocationsTest : public ExcelRegistryTest {
 protected:
  void SetUp() override {
    ExcelRegistryTest::SetUp();
    RegisterVersion();
  }
  static SfRegKeyPath Locations() { return UserKey("Security\\Trusted Locations"); }
  static SfRegKeyPath Location(const std::string& name) {
    SfRegKeyPath key = Locations();
    key.Append(name);
    return key;
  }
  static void Put(const std::string& name, const std::string& path) {
    ASSERT_TRUE(Location(name).Create());
    ASSERT_TRUE(Location(name).WriteString("Path", path));
  }
  // Sub-key name → Path of every location.
  static std::vector<std::pair<std::string, std::string>> All() {
    std::vector<std::pair<std::string, std::string>> all;
    std::vector<std::string> names;
    Locations().EnumSubKeys(&names);
    for (const std::string& name : names) {
      std::string path;
      Location(name).ReadString("Path", &path);
      all.emplace_back(name, path);
    }
    return all;
  }
  using All_t = std::vector<std::pair<std::string, std::string>>;
};

TEST_F(TrustedLocationsTest, AddTakesTheFirstFreeNameAndWritesItsValues) {
  Put("Location0", "C:\\Zero");
  Put("Location2", "C:\\Two");
  ASSERT_TRUE(util::AddTrustedLocation("C:\\Prog\\", "OrvexXL Folder"));
  std::string text;
  ASSERT_TRUE(Location("Location1").ReadString("Path", &text));
  EXPECT_EQ(text, "C:\\Prog\\");
  ASSERT_TRUE(Location("Location1").ReadString("Description", &text));
  EXPECT_EQ(text, "OrvexXL Folder");
  SfRegValue allow;
  ASSERT_TRUE(Location("Location1").ReadValue("AllowSubFolders", &allow));
  EXPECT_EQ(allow.type, kRegDword);
  EXPECT_EQ(allow.data, (std::vector<uint8_t>{1, 0, 0, 0}));

  ASSERT_TRUE(util::AddTrustedLocation("D:\\Plain", ""));
  EXPECT_TRUE(Location("Location3").ValueExists("Path"));
  EXPECT_FALSE(Location("Location3").ValueExists("Description")) << "empty description";
}

TEST_F(TrustedLocationsTest, FreeNameSearchCreatesTheParentAndStopsAtAThousand) {
  EXPECT_FALSE(Locations().Exists());
  std::string name;
  ASSERT_TRUE(util::FindFreeLocationKeyName(&name));
  EXPECT_EQ(name, "Location0");
  EXPECT_TRUE(Locations().Exists());
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(Location("Location" + std::to_string(i)).Create());
  EXPECT_FALSE(util::FindFreeLocationKeyName(&name));
  EXPECT_FALSE(util::AddTrustedLocation("C:\\Full", "x"));
  EXPECT_FALSE(Location("Location1000").Exists());
}

TEST_F(TrustedLocationsTest, RemoveTakesTheFolderAndItsSubFoldersOnly) {
  Put("Location0", "C:\\Prog\\Sub");
  Put("Location1", "c:\\prog\\");
  Put("Location2", "C:\\Program Files");  // Excel's own: shares the prefix, not the folder
  Put("Location3", "C:\\Pro");
  Put("Excel Own", "C:\\PROG");
  Put("Location4", "D:\\Prog");
  ASSERT_TRUE(Location("Location0\\Nested").Create());
  EXPECT_TRUE(util::RemoveTrustedLocation("C:\\Prog"));
  EXPECT_EQ(All(), (All_t{{"Location2", "C:\\Program Files"},
                          {"Location3", "C:\\Pro"},
                          {"Location4", "D:\\Prog"}}));
  EXPECT_FALSE(util::RemoveTrustedLocation("C:\\Prog"));
  EXPECT_FALSE(util::RemoveTrustedLocation("")) << "an empty folder must not match them all";
  EXPECT_FALSE(util::RemoveTrustedLocation("\\")) << "nor a bare separator";
  EXPECT_EQ(All().size(), 3u);
  EXPECT_TRUE(util::RemoveTrustedLocation("d:\\prog\\")) << "a trailing separator names the same";
  EXPECT_EQ(All().size(), 2u);
}

TEST_F(TrustedLocationsTest, CheckComparesWholeTexts) {
  Put("Location0", "C:\\Prog\\");
  EXPECT_FALSE(util::IsTrustedLocation("C:\\Prog"));
  EXPECT_TRUE(util::IsTrustedLocation("c:\\PROG\\"));
  ASSERT_TRUE(Location("Location1").Create());
  ASSERT_TRUE(Location("Location1").WriteValue("Path", {'E', ':', 0}, kRegExpandSz));
  EXPECT_TRUE(util::IsTrustedLocation("e:"));
  ASSERT_TRUE(Location("Location2").Create());
  ASSERT_TRUE(Location("Location2").WriteDword("Path", 5));
  EXPECT_FALSE(util::IsTrustedLocation(""));
}

TEST_F(TrustedLocationsTest, DuplicatesGoTogetherAndTheAddActionListsOnce) {
  Put("Location0", "C:\\Same");
  Put("Location1", "C:\\Same");
  EXPECT_TRUE(util::RemoveTrustedLocation("C:\\Same"));
  EXPECT_TRUE(All().empty());
  for (int i = 0; i < 2; ++i) {  // the add action: remove, then add
    util::RemoveTrustedLocation("C:\\Orvex");
    ASSERT_TRUE(util::AddTrustedLocation("C:\\Orvex", "OrvexXL Folder"));
  }
  EXPECT_EQ(All(), (All_t{{"Location0", "C:\\Orvex"}}));
}

TEST_F(ExcelRegistryTest, TrustedLocationsNeedAnExcelVersion) {
  const SfRegKeyPath stray(RegRoot::kCurrentUser, "Location0");
  ASSERT_TRUE(stray.Create());
  ASSERT_TRUE(stray.WriteString("Path", "C:\\Prog"));
  std::string name;
  EXPECT_FALSE(util::FindFreeLocationKeyName(&name));
  EXPECT_FALSE(util::AddTrustedLocation("C:\\Prog", "x"));
  EXPECT_FALSE(util::IsTrustedLocation("C:\\Prog"));
  EXPECT_FALSE(util::RemoveTrustedLocation("C:\\Prog"));
  std::vector<std::string> keys;
  ASSERT_TRUE(SfRegKeyPath(RegRoot::kCurrentUser, "").EnumSubKeys(&keys));
  EXPECT_EQ(keys, std::vector<std::string>{"Location0"});
  EXPECT_TRUE(stray.ValueExists("Path"));
}

}  // namespace
}  // namespace orvex::excel_test
