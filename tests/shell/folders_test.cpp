#include "platform/shell/folders.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {
namespace fs = std::filesystem;
using namespace platform::shell;

class Folders : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("quillon_folders_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    DeleteFolder(root_, true);
    ASSERT_EQ(CreateFolder(root_), "");
  }
  void TearDown() override { DeleteFolder(root_, true); }
  static void writeFile(const fs::path& file, const std::string& text) { std::ofstream(file) << text; }
  fs::path root_;
};

TEST_F(Folders, ForcedDeleteRemovesReadOnlyTreesButNeverFollowsLinks) {
  const fs::path work = root_ / "TRBSAVE";
  ASSERT_EQ(CreateFolder(work / "TRB_P_20260203_090507"), "");
  writeFile(work / "TRB_P_20260203_090507" / "Trb0_Data.csv", "1,2\r\n");
  writeFile(work / "Set.mdb", "x");
  ASSERT_EQ(SetReadOnly(work / "Set.mdb", true), "");
  EXPECT_TRUE(IsReadOnly(work / "Set.mdb"));
  ASSERT_EQ(SetReadOnly(work / "TRB_P_20260203_090507", true), "");

  // A link inside the tree to a read-only file outside it: the link goes, the file stays as it was.
  const fs::path outside = root_ / "outside.txt";
  writeFile(outside, "keep");
  ASSERT_EQ(SetReadOnly(outside, true), "");
  fs::create_symlink(outside, work / "link");

  EXPECT_EQ(DeleteFolder(work, true), "");
  EXPECT_FALSE(FolderExists(work));
  EXPECT_TRUE(fs::exists(outside));
  EXPECT_TRUE(IsReadOnly(outside));
  EXPECT_EQ(DeleteFolder(work, true), "");  // nothing there is not an error
}

TEST_F(Folders, AttributesBackToNormalOnEveryFileOfTheTree) {
  const fs::path work = root_ / "W";
  ASSERT_EQ(CreateFolder(work / "sub"), "");
  writeFile(work / "a.mdb", "a");
  writeFile(work / "sub" / "b.mdb", "b");
  SetReadOnly(work / "a.mdb", true);
  SetReadOnly(work / "sub" / "b.mdb", true);
  EXPECT_EQ(SetAttributesNormal(work), "");
  EXPECT_FALSE(IsReadOnly(work / "a.mdb"));
  EXPECT_FALSE(IsReadOnly(work / "sub" / "b.mdb"));
}

TEST_F(Folders, CreateAndMove) {
  EXPECT_EQ(CreateFolder(root_ / "a" / "b"), "");
  EXPECT_EQ(CreateFolder(root_ / "a" / "b"), "");
  EXPECT_TRUE(FolderExists(root_ / "a" / "b"));
  writeFile(root_ / "file", "x");
  EXPECT_NE(CreateFolder(root_ / "file"), "");

  writeFile(root_ / "a" / "b" / "data.csv", "1\r\n");
  EXPECT_EQ(MoveFolder(root_ / "a", root_ / "TRBSAVE_20260203_090507"), "");
  EXPECT_FALSE(FolderExists(root_ / "a"));
  EXPECT_TRUE(fs::exists(root_ / "TRBSAVE_20260203_090507" / "b" / "data.csv"));

  // Never onto an existing target: its contents would be lost or mixed.
  ASSERT_EQ(CreateFolder(root_ / "c"), "");
  const std::string refused = MoveFolder(root_ / "c", root_ / "TRBSAVE_20260203_090507");
  EXPECT_NE(refused.find("already exists"), std::string::npos);
  EXPECT_TRUE(FolderExists(root_ / "c"));
  EXPECT_NE(MoveFolder(root_ / "missing", root_ / "d"), "");
}

}  // namespace
