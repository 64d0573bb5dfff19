// Folders and files on disk. A file is written completely or not at all: a write that fails
// part-way (here a file size limit standing in for a full disk) leaves neither a short file
// under the real name nor the partial one, and an older file of that name stays as it was.
#include "platform/shell/folders.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/shell/complete_file.h"
#include "tests/shell/file_size_limit.h"

namespace {
namespace fs = std::filesystem;
using namespace platform::shell;

std::string textOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class Folders : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("quillon_folders_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    DeleteFolder(root_, true);
    ASSERT_EQ(CreateFolder(root_), "");
  }
  void TearDown() override {
    SetPublishObserver({});
    DeleteFolder(root_, true);
  }
  static void writeFile(const fs::path& file, const std::string& text) { std::ofstream(file) << text; }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root_)) names.push_back(entry.path().filename().string());
    return names;
  }
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

TEST_F(Folders, AFileTakesItsNameOnlyWhenComplete) {
  std::vector<std::pair<std::string, std::uintmax_t>> published;
  SetPublishObserver([&](const fs::path& target, std::uintmax_t size) {
    published.emplace_back(target.filename().string(), size);
  });
  const fs::path target = root_ / "Set_Sram_LINE1.csv";

  // Written in pieces: nothing under the real name until finished.
  {
    CompleteFile file(target);
    file.write("1,0x0000,5,\r\n");
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(fs::exists(PartialPathOf(target)));
    file.write("2,0x0002,7,\r\n");
    EXPECT_EQ(file.finish(), "");
  }
  EXPECT_EQ(textOf(target), "1,0x0000,5,\r\n2,0x0002,7,\r\n");
  EXPECT_EQ(entries(), std::vector<std::string>{"Set_Sram_LINE1.csv"});

  // A read-only file of that name (an earlier save) and a stale partial one are replaced.
  SetReadOnly(target, true);
  std::ofstream(PartialPathOf(target)) << "stale";
  EXPECT_EQ(WriteFileCompletely(target, "new"), "");
  EXPECT_EQ(textOf(target), "new");
  EXPECT_EQ(entries(), std::vector<std::string>{"Set_Sram_LINE1.csv"});

  // Given up before the end (the writer failed elsewhere): the partial file goes, the old stays.
  {
    CompleteFile abandoned(target);
    abandoned.write("half");
  }
  EXPECT_EQ(textOf(target), "new");
  EXPECT_EQ(entries(), std::vector<std::string>{"Set_Sram_LINE1.csv"});

  // The full disk: the write fails past the limit; the message names the file and the cause;
  // the older file keeps its bytes, and nothing else is left.
  {
    quillon_test::FileSizeLimit diskFull(1000);
    const std::string failure = WriteFileCompletely(target, std::string(5000, 'x'));
    EXPECT_NE(failure.find(target.string()), std::string::npos) << failure;
    EXPECT_NE(failure.find("File too large"), std::string::npos) << failure;
    CompleteFile file(root_ / "TroubleRecord_LINE1.csv");
    for (int i = 0; i < 100; ++i) file.write("1,2014/03/12 08:15:02,17,2\r\n");
    EXPECT_NE(file.finish(), "");
    EXPECT_NE(file.finish(), "") << "a failure stays told";
  }
  EXPECT_EQ(textOf(target), "new");
  EXPECT_EQ(entries(), std::vector<std::string>{"Set_Sram_LINE1.csv"});

  // A folder that is gone: told, nothing written.
  EXPECT_NE(WriteFileCompletely(root_ / "gone" / "x.csv", "x"), "");

  // Only the complete files were told, with their sizes.
  EXPECT_EQ(published, (std::vector<std::pair<std::string, std::uintmax_t>>{{"Set_Sram_LINE1.csv", 26},
                                                                           {"Set_Sram_LINE1.csv", 3}}));
}

TEST_F(Folders, APartialFileIsPublishedOnlyWhenItCanBeRenamed) {
  const fs::path partial = root_ / ".TRB0.partial.mdb";
  const fs::path target = root_ / "TRB0.mdb";
  std::ofstream(partial) << "workbook";
  EXPECT_EQ(PublishCompleteFile(partial, target), "");
  EXPECT_EQ(textOf(target), "workbook");
  EXPECT_FALSE(fs::exists(partial));
  // A name the file system cannot hold: the caller keeps the partial file and is told.
  std::ofstream(partial) << "again";
  const fs::path tooLong = root_ / (std::string(300, 'n') + ".mdb");
  EXPECT_NE(PublishCompleteFile(partial, tooLong), "");
  EXPECT_TRUE(fs::exists(partial));
  EXPECT_EQ(textOf(target), "workbook");
}

}  // namespace
