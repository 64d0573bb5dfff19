// A file is written completely or not at all: a write that fails part-way (here a file size
// limit standing in for a full disk) leaves neither a short file under the real name nor the
// partial one, and an older file of that name stays as it was.
#include "platform/shell/complete_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/shell/folders.h"
#include "tests/shell/file_size_limit.h"

namespace {
namespace fs = std::filesystem;
using namespace platform::shell;

std::string textOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class CompleteFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("quillon_complete_" + std::to_string(::getpid()));
    DeleteFolder(folder_, true);
    fs::create_directories(folder_);
  }
  void TearDown() override {
    SetPublishObserver({});
    DeleteFolder(folder_, true);
  }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) names.push_back(entry.path().filename().string());
    return names;
  }
  fs::path folder_;
};

TEST_F(CompleteFiles, AFileTakesItsNameOnlyWhenComplete) {
  std::vector<std::pair<std::string, std::uintmax_t>> published;
  SetPublishObserver([&](const fs::path& target, std::uintmax_t size) {
    published.emplace_back(target.filename().string(), size);
  });
  const fs::path target = folder_ / "Set_Sram_LINE1.csv";

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
    CompleteFile file(folder_ / "TroubleRecord_LINE1.csv");
    for (int i = 0; i < 100; ++i) file.write("1,2014/03/12 08:15:02,17,2\r\n");
    EXPECT_NE(file.finish(), "");
    EXPECT_NE(file.finish(), "") << "a failure stays told";
  }
  EXPECT_EQ(textOf(target), "new");
  EXPECT_EQ(entries(), std::vector<std::string>{"Set_Sram_LINE1.csv"});

  // A folder that is gone: told, nothing written.
  EXPECT_NE(WriteFileCompletely(folder_ / "gone" / "x.csv", "x"), "");

  // Only the complete files were told, with their sizes.
  EXPECT_EQ(published, (std::vector<std::pair<std::string, std::uintmax_t>>{{"Set_Sram_LINE1.csv", 26},
                                                                           {"Set_Sram_LINE1.csv", 3}}));
}

TEST_F(CompleteFiles, APartialFileIsPublishedOnlyWhenItCanBeRenamed) {
  const fs::path partial = folder_ / ".TRB0.partial.mdb";
  const fs::path target = folder_ / "TRB0.mdb";
  std::ofstream(partial) << "workbook";
  EXPECT_EQ(PublishCompleteFile(partial, target), "");
  EXPECT_EQ(textOf(target), "workbook");
  EXPECT_FALSE(fs::exists(partial));
  // A name the file system cannot hold: the caller keeps the partial file and is told.
  std::ofstream(partial) << "again";
  const fs::path tooLong = folder_ / (std::string(300, 'n') + ".mdb");
  EXPECT_NE(PublishCompleteFile(partial, tooLong), "");
  EXPECT_TRUE(fs::exists(partial));
  EXPECT_EQ(textOf(target), "workbook");
}

}  // namespace
