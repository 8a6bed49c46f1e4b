// Paths, new files, subfolders and the folder-tree search.
#include "system/file_operations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "system/testing/test_scratch.h"

namespace orvex::test {
namespace {

using namespace system;

std::string Native(std::string path) {
  if (WindowsBackend()) std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

TEST(JoinPathTest, OneSeparatorAbsoluteNamesDotsAndLength) {
  const std::string root = WindowsBackend() ? "C:" : "";
  EXPECT_EQ(JoinPath(Native(root + "/a/b"), "c.txt"), Native(root + "/a/b/c.txt"));
  EXPECT_EQ(JoinPath(Native(root + "/a/b/"), "c.txt"), Native(root + "/a/b/c.txt"));
  EXPECT_EQ(JoinPath(Native(root + "/a/b"), Native("../c/./d")), Native(root + "/a/c/d"));
  // An absolute name stands by itself.
  EXPECT_EQ(JoinPath(Native(root + "/a"), Native(root + "/x/y")), Native(root + "/x/y"));
  // 259 characters fit, 260 do not.
  const std::string folder = Native(root + "/" + std::string(200, 'f'));
  const size_t room = 259 - folder.size() - 1;
  EXPECT_EQ(JoinPath(folder, std::string(room, 'n')).size(), 259u);
  EXPECT_EQ(JoinPath(folder, std::string(room + 1, 'n')), "");
}

TEST(ModuleAndTempFoldersTest, FolderEndsWithSeparatorAndHoldsTheProgram) {
  const std::string path = GetModulePath();
  const std::string folder = GetModuleFolder();
  ASSERT_FALSE(path.empty());
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(path.starts_with(folder));
  EXPECT_EQ(path.find_first_of("/\\", folder.size()), std::string::npos);
  EXPECT_TRUE(folder.ends_with(WindowsBackend() ? "\\" : "/"));
  const std::string temp = GetTempFolder();
  EXPECT_TRUE(temp.ends_with(WindowsBackend() ? "\\" : "/"));
  EXPECT_TRUE(std::filesystem::is_directory(temp));
}

TEST(WriteNewFileTest, ReplacesWholeAndRefusesADirectory) {
  ScratchFolder dir;
  const std::string file = dir / "data.bin";
  ASSERT_TRUE(WriteNewFile(file, std::string("long first content\0with zero", 28)));
  ASSERT_TRUE(WriteNewFile(file, "short"));
  EXPECT_EQ(ReadFileBytes(file), "short");
  ASSERT_TRUE(WriteNewFile(file, ""));
  EXPECT_TRUE(FileExists(file));
  EXPECT_EQ(ReadFileBytes(file), "");
  std::filesystem::create_directory(dir / "taken");
  EXPECT_FALSE(WriteNewFile(dir / "taken", "x"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "taken"));
  EXPECT_FALSE(WriteNewFile(dir / "missing/inner.txt", "x"));
}

TEST(CopyAndDeleteTest, CopyReplacesAndDeleteLeavesDirectories) {
  ScratchFolder dir;
  ASSERT_TRUE(WriteNewFile(dir / "from", "new bytes"));
  ASSERT_TRUE(WriteNewFile(dir / "to", "old bytes that are longer"));
  ASSERT_TRUE(CopyFileOver(dir / "from", dir / "to"));
  EXPECT_EQ(ReadFileBytes(dir / "to"), "new bytes");
  EXPECT_FALSE(CopyFileOver(dir / "absent", dir / "to2"));
  EXPECT_TRUE(DeleteFileAt(dir / "to"));
  EXPECT_FALSE(FileExists(dir / "to"));
  EXPECT_FALSE(DeleteFileAt(dir / "to"));
  ASSERT_TRUE(CreateFolder(dir / "sub"));
  EXPECT_TRUE(CreateFolder(dir / "sub"));  // already there
  EXPECT_FALSE(DeleteFileAt(dir / "sub"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "sub"));
  EXPECT_FALSE(CreateFolder(dir / "no/such/parent"));
}

TEST(ListSubfoldersTest, OnlyDirectoriesWithoutDotEntries) {
  ScratchFolder dir;
  std::filesystem::create_directory(dir / "one");
  std::filesystem::create_directory(dir / "two");
  std::filesystem::create_directory(dir / "two/inner");
  ASSERT_TRUE(WriteNewFile(dir / "file.txt", "x"));
  std::vector<std::string> names = ListSubfolders(dir.path());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"one", "two"}));
  // With a trailing separator the same listing.
  std::vector<std::string> again = ListSubfolders(dir.path() + (WindowsBackend() ? "\\" : "/"));
  std::sort(again.begin(), again.end());
  EXPECT_EQ(again, names);
  EXPECT_TRUE(ListSubfolders(dir / "absent").empty());
}

TEST(FindFileInTreeTest, PrefersTheDirectFileAndSkipsDirectoriesOfThatName) {
  ScratchFolder dir;
  std::filesystem::create_directories(dir / "a/b");
  std::filesystem::create_directories(dir / "c");
  ASSERT_TRUE(WriteNewFile(dir / Native("a/b/Tool.dll"), "deep"));
  ASSERT_TRUE(WriteNewFile(dir / Native("c/Tool.dll"), "shallow"));
  // Found below; which subfolder comes first is the listing's order, but the hit is
  // always a file of that name.
  const std::string below = FindFileInTree("Tool.dll", dir.path());
  EXPECT_TRUE(below == dir / Native("a/b/Tool.dll") || below == dir / Native("c/Tool.dll"))
      << below;
  // A file directly in the folder wins over every subfolder.
  ASSERT_TRUE(WriteNewFile(dir / "Tool.dll", "direct"));
  EXPECT_EQ(FindFileInTree("Tool.dll", dir.path()), dir / "Tool.dll");
  // A directory of that name is not a hit; the search goes on into it and elsewhere.
  ScratchFolder other;
  std::filesystem::create_directories(other / Native("Tool.dll/x"));
  ASSERT_TRUE(WriteNewFile(other / Native("Tool.dll/x/Tool.dll"), "inside"));
  EXPECT_EQ(FindFileInTree("Tool.dll", other.path()), other / Native("Tool.dll/x/Tool.dll"));
  EXPECT_EQ(FindFileInTree("Missing.dll", dir.path()), "");
  EXPECT_EQ(FindFileInTree("Tool.dll", dir / "absent"), "");
}

// Linux programs have no extension: "Corvane.exe" finds `corvane` there, after the
// exact name; Windows looks for the name only.
TEST(FindFileInTreeTest, ProgramNamesFindTheNativeProgramAfterTheExactName) {
  ScratchFolder dir;
  std::filesystem::create_directories(dir / "bin");
  ASSERT_TRUE(WriteNewFile(dir / Native("bin/corvane"), "native"));
  const std::string found = FindFileInTree("Corvane.exe", dir.path());
  EXPECT_EQ(found, WindowsBackend() ? "" : dir / Native("bin/corvane"));
  ASSERT_TRUE(WriteNewFile(dir / Native("bin/Corvane.exe"), "exact"));
  EXPECT_EQ(FindFileInTree("Corvane.exe", dir.path()), dir / Native("bin/Corvane.exe"));
}

TEST(LocalAppDataTest, FolderExistsAndNameIsJoined) {
  const std::string path = GetLocalAppDataFolder("OrvexTestName");
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(path.ends_with(WindowsBackend() ? "\\OrvexTestName" : "/OrvexTestName"));
  const std::string folder = path.substr(0, path.size() - std::string("OrvexTestName").size());
  EXPECT_TRUE(std::filesystem::is_directory(folder));
}

}  // namespace
}  // namespace orvex::test
