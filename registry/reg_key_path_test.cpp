#include "registry/reg_key_path.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/registry_sandbox.h"

namespace orvex {
namespace {

using platform::RegistrySandbox;

class RegKeyPathTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sandbox_.ok()); }
  SfRegKeyPath Key(std::string_view path) { return SfRegKeyPath(RegRoot::kCurrentUser, path); }
  RegistrySandbox sandbox_;
};

std::vector<std::string> Names(std::initializer_list<const char*> list) {
  return std::vector<std::string>(list.begin(), list.end());
}

TEST(RegKeyPathText, NormalisesBlanksAndBackslashesAtBothEnds) {
  EXPECT_EQ(SfRegKeyPath::Normalize(" \\Software\\X\\ "), "Software\\X");
  EXPECT_EQ(SfRegKeyPath::Normalize("\t\\ \\ Software\\X \\\\\n"), "Software\\X");
  EXPECT_EQ(SfRegKeyPath::Normalize(" \\ \\ "), "");
  // Inner blanks and doubled inner backslashes are the caller's business.
  EXPECT_EQ(SfRegKeyPath::Normalize("A b\\\\C"), "A b\\\\C");
  EXPECT_EQ(SfRegKeyPath(RegRoot::kCurrentUser, "\\Software\\").path(), "Software");
}

TEST(RegKeyPathText, AppendNormalisesAndSkipsEmptyNames) {
  SfRegKeyPath key(RegRoot::kCurrentUser, "");
  key.Append("\\Sub\\");
  EXPECT_EQ(key.path(), "Sub");
  key.Append(" \\ ");
  EXPECT_EQ(key.path(), "Sub");
  key.Append("  Deeper\\Still\\ ");
  EXPECT_EQ(key.path(), "Sub\\Deeper\\Still");
}

TEST_F(RegKeyPathTest, ValuesKeepTypeAndExactBytes) {
  const SfRegKeyPath key = Key("Software\\OrvexT\\Values");
  EXPECT_FALSE(key.WriteString("a", "text")) << "writing must not create the key";
  EXPECT_FALSE(key.Exists());
  ASSERT_TRUE(key.Create());
  ASSERT_TRUE(key.Create()) << "creating an existing key succeeds";
  const std::vector<uint8_t> raw{0, 1, 2, 0xFF, 0, 7};
  ASSERT_TRUE(key.WriteString("", "default"));
  ASSERT_TRUE(key.WriteDword("Count", 0x01020304u));
  ASSERT_TRUE(key.WriteValue("Raw", raw, 3));
  ASSERT_TRUE(key.WriteValue("Expand", {'%', 'X', '%', 0}, kRegExpandSz));

  SfRegValue value;
  ASSERT_TRUE(key.ReadValue("count", &value)) << "value names ignore case";
  EXPECT_EQ(value.type, kRegDword);
  EXPECT_EQ(value.data, (std::vector<uint8_t>{4, 3, 2, 1}));
  ASSERT_TRUE(key.ReadValue("Raw", &value));
  EXPECT_EQ(value.type, 3u);
  EXPECT_EQ(value.data, raw);
  ASSERT_TRUE(key.ReadValue("", &value));
  EXPECT_EQ(value.data, (std::vector<uint8_t>{'d', 'e', 'f', 'a', 'u', 'l', 't', 0}));

  std::string text = "stale";
  EXPECT_TRUE(key.ReadString("", &text));
  EXPECT_EQ(text, "default");
  EXPECT_TRUE(key.ReadString("Expand", &text));
  EXPECT_EQ(text, "%X%") << "not expanded";
  EXPECT_FALSE(key.ReadString("Count", &text));
  EXPECT_EQ(text, "");
  EXPECT_FALSE(key.ReadString("Missing", &text));

  EXPECT_TRUE(key.ValueExists("RAW"));
  EXPECT_TRUE(key.DeleteValue("raw"));
  EXPECT_FALSE(key.ValueExists("Raw"));
  EXPECT_FALSE(key.DeleteValue("raw"));
}

TEST_F(RegKeyPathTest, ValuesKeepTheirOrderAndFirstSpelling) {
  const SfRegKeyPath key = Key("Software\\OrvexT\\Order");
  ASSERT_TRUE(key.Create());
  for (const char* name : {"zeta", "Alpha", "mid"}) ASSERT_TRUE(key.WriteString(name, name));
  ASSERT_TRUE(key.WriteString("ALPHA", "again"));  // rewriting keeps place and spelling
  std::vector<std::string> names;
  ASSERT_TRUE(key.EnumValueNames("", "", &names));
  if (!RegistrySandbox::ValuesInCreationOrder()) std::sort(names.begin(), names.end());
  const auto expected = RegistrySandbox::ValuesInCreationOrder() ? Names({"zeta", "Alpha", "mid"})
                                                                 : Names({"Alpha", "mid", "zeta"});
  EXPECT_EQ(names, expected);
  std::string text;
  ASSERT_TRUE(key.ReadString("alpha", &text));
  EXPECT_EQ(text, "again");
}

TEST_F(RegKeyPathTest, EnumValueNamesFiltersByPrefixAndSuffixIgnoringCase) {
  const SfRegKeyPath key = Key("Software\\OrvexT\\Filter");
  ASSERT_TRUE(key.Create());
  for (const char* name : {"open3", "Other", "OPEN", "C:\\X\\A.XLL", "a.xll", "XOPEN"}) {
    ASSERT_TRUE(key.WriteString(name, ""));
  }
  std::vector<std::string> names;
  ASSERT_TRUE(key.EnumValueNames("OPEN", "", &names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, Names({"OPEN", "open3"}));
  ASSERT_TRUE(key.EnumValueNames("", "\\a.xll", &names));
  EXPECT_EQ(names, Names({"C:\\X\\A.XLL"}));
  ASSERT_TRUE(key.EnumValueNames("c:", "XLL", &names));
  EXPECT_EQ(names, Names({"C:\\X\\A.XLL"}));
  EXPECT_FALSE(Key("Software\\OrvexT\\Nowhere").EnumValueNames("", "", &names));
  EXPECT_TRUE(names.empty());
}

TEST_F(RegKeyPathTest, SubKeysEnumerateInCaseInsensitiveNameOrder) {
  const SfRegKeyPath key = Key("Software\\OrvexT\\Keys");
  for (const char* name : {"b", "C", "a2", "A1"}) {
    SfRegKeyPath sub = key;
    sub.Append(name);
    ASSERT_TRUE(sub.Create());
  }
  std::vector<std::string> names;
  ASSERT_TRUE(key.EnumSubKeys(&names));
  EXPECT_EQ(names, Names({"A1", "a2", "b", "C"}));
  EXPECT_TRUE(Key("Software\\OrvexT\\KEYS\\c").Exists()) << "key names ignore case";
  EXPECT_FALSE(Key("Software\\OrvexT\\Nowhere").EnumSubKeys(&names));
}

TEST_F(RegKeyPathTest, DeleteTreeRemovesNestedKeysDeepestFirst) {
  const SfRegKeyPath top = Key("Software\\OrvexT\\Tree");
  for (const char* path : {"Software\\OrvexT\\Tree\\A\\B\\C", "Software\\OrvexT\\Tree\\A\\B2",
                           "Software\\OrvexT\\Tree\\Z", "Software\\OrvexT\\Keep"}) {
    ASSERT_TRUE(Key(path).Create());
  }
  ASSERT_TRUE(Key("Software\\OrvexT\\Tree\\A\\B\\C").WriteString("v", "x"));
  // A plain delete refuses a key with sub-keys; the tree delete must go bottom-up.
  SfRegKeyPath parent = Key("Software\\OrvexT");
  platform::RegistryKey handle;
  ASSERT_EQ(platform::RegistryKey::Open(RegRoot::kCurrentUser, parent.path(),
                                        platform::RegAccess::kRead, false, &handle),
            platform::RegResult::kOk);
  EXPECT_EQ(handle.DeleteSubKey("Tree"), platform::RegResult::kAccessDenied);

  EXPECT_TRUE(top.DeleteTree());
  EXPECT_FALSE(top.Exists());
  EXPECT_TRUE(Key("Software\\OrvexT\\Keep").Exists());
  // Removals run over several places; a key that is gone already is done, not failed.
  EXPECT_TRUE(top.DeleteTree()) << "nothing left to delete";
  EXPECT_TRUE(Key("Software\\OrvexT\\Absent\\Deeper").DeleteTree()) << "parent missing too";
}

TEST_F(RegKeyPathTest, DeleteTreeWorksInTheViewOfTheKey) {
  const char* path = "Software\\OrvexT\\Viewed\\Leaf";
  const SfRegKeyPath wide(RegRoot::kLocalMachine, path, true);
  const SfRegKeyPath narrow(RegRoot::kLocalMachine, path, false);
  ASSERT_TRUE(wide.Create());
  ASSERT_TRUE(narrow.Create());
  EXPECT_TRUE(wide.DeleteTree());
  EXPECT_FALSE(wide.Exists());
  // Where the views stay apart, the default view's copy is another key and stays.
  EXPECT_EQ(narrow.Exists(), RegistrySandbox::KeepsViews());
  EXPECT_TRUE(narrow.DeleteTree());
  EXPECT_FALSE(narrow.Exists());
}

TEST_F(RegKeyPathTest, DeleteTreeOfSingleComponentDeletesUnderTheRoot) {
  ASSERT_TRUE(Key("OrvexTopLevel\\Inner").Create());
  EXPECT_TRUE(Key("OrvexTopLevel").DeleteTree());
  EXPECT_FALSE(Key("OrvexTopLevel").Exists());
  EXPECT_FALSE(Key("").DeleteTree()) << "the root itself is never deleted";
  EXPECT_TRUE(Key("").Exists());
}

}  // namespace
}  // namespace orvex
