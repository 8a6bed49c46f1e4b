#include "platform/known_folder.h"

#include <gtest/gtest.h>

#include "platform/file_attributes.h"

namespace orvex::platform {
namespace {

TEST(KnownFolder, FoldersExistAndHaveNoTrailingSeparator) {
  for (KnownFolder folder : {KnownFolder::kProgramData, KnownFolder::kLocalAppData}) {
    std::string path;
    ASSERT_TRUE(GetKnownFolder(folder, true, &path));
    ASSERT_FALSE(path.empty());
    EXPECT_NE(path.back(), '/');
    EXPECT_NE(path.back(), '\\');
    EXPECT_EQ(GetPathKind(path), PathKind::kDirectory) << path;
  }
}

TEST(PathKindTest, FilesFoldersAndNothing) {
  std::string folder;
  ASSERT_TRUE(GetKnownFolder(KnownFolder::kLocalAppData, true, &folder));
  EXPECT_EQ(GetPathKind(folder), PathKind::kDirectory);
  EXPECT_EQ(GetPathKind(folder + "/no-such-orvex-entry"), PathKind::kMissing);
  EXPECT_EQ(GetPathKind(""), PathKind::kMissing);
}

}  // namespace
}  // namespace orvex::platform
