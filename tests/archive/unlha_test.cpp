// The archiver's commands: folders packed come back byte for byte, through lhasa's own `lha`
// command and through our extraction; packing into a place that cannot be written deletes
// nothing; command texts it does not know are refused.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

#include "platform/archive/lzh_names.h"
#include "platform/archive/lzh_reader.h"
#include "platform/archive/unlha.h"
#include "tests/archive/archive_test_files.h"

using namespace archive_test;

namespace {

std::string packCommand(const fs::path& archive, const fs::path& folder) {
  return "a \"" + archive.string() + "\" \"" + folder.string() + "\"\\ *.* -d -n1 -gm1";
}

}  // namespace

TEST(Unlha, PackedFilesComeBackThroughLhaAndOurExtraction) {
  Scratch scratch("archive-test");
  std::mt19937 random(7);
  std::string noise(70000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  std::string large;
  while (large.size() < (1u << 20) + 1000) large += std::to_string(large.size() % 977) + ",12.5,-3\r\n";
  const std::map<std::string, std::string> files = {
      {"empty.csv", ""}, {"one.txt", "x"}, {"same.bin", std::string(100000, 'a')},
      {"noise.bin", noise}, {"large.csv", large}, {"sub/deeper/Grün é.csv", "1,2,3\r\n"}};
  for (const auto& [name, bytes] : files) writeFile(scratch / "W" / name, bytes);

  char output[256];
  ASSERT_EQ(Unlha(nullptr, packCommand(scratch / "A.lzh", scratch / "W").c_str(), output, sizeof output), 0) << output;
  for (const auto& [name, bytes] : files) EXPECT_FALSE(fs::exists(scratch / "W" / name)) << name;

  fs::create_directories(scratch / "ours");
  const std::string why = platform::archive::ExtractArchiveFile(scratch / "A.lzh", scratch / "ours");
  ASSERT_TRUE(why.empty()) << why;
  for (const auto& [name, bytes] : files) EXPECT_EQ(readFile(scratch / "ours" / name), bytes) << name;

  if (!haveCommand("lha")) return;
  ASSERT_TRUE(lhaExtracts(scratch / "A.lzh", scratch / "lha"));
  // lhasa writes the stored bytes: names in windows-1252.
  for (const auto& [name, bytes] : files)
    EXPECT_EQ(readFile(scratch / "lha" / platform::archive::StoredName(name, "windows-1252")), bytes) << name;
}

TEST(Unlha, PackIntoUnwritablePlaceDeletesNothing) {
  Scratch scratch("archive-unwritable");
  writeFile(scratch / "W" / "keep.csv", "1,2\r\n");
  writeFile(scratch / "plain", "a file, not a folder");
  writeFile(scratch / "earlier.lzh", "an earlier run's archive");
  char output[64];
  for (const fs::path& archive : {scratch / "missing" / "A.lzh", scratch / "plain" / "A.lzh", scratch / "earlier.lzh"}) {
    EXPECT_NE(Unlha(nullptr, packCommand(archive, scratch / "W").c_str(), output, sizeof output), 0);
    EXPECT_LT(std::strlen(output), sizeof output);
    EXPECT_TRUE(fs::exists(scratch / "W" / "keep.csv"));
  }
  EXPECT_EQ(readFile(scratch / "earlier.lzh"), "an earlier run's archive") << "never replaced";
  EXPECT_FALSE(fs::exists(scratch / "earlier.lzh.part"));
}

TEST(Unlha, OnlyTheTwoCommandFormsParse) {
  platform::archive::UnlhaCommand command;
  std::string error;
  ASSERT_TRUE(platform::archive::ParseUnlhaCommand("a \"/d/My Docs/T.lzh\" \"/d/My Docs/TRBSAVE\"\\ *.* -d -n1 -gm1", command, error));
  EXPECT_EQ(command.action, 'a');
  EXPECT_EQ(command.archive, "/d/My Docs/T.lzh");
  EXPECT_EQ(command.folder, "/d/My Docs/TRBSAVE");
  EXPECT_TRUE(command.deleteAfterPacking);
  ASSERT_TRUE(platform::archive::ParseUnlhaCommand("e \"/d/A B/Temp.lzh\" \"/d/A B\\\" -n1 -gm1", command, error));
  EXPECT_EQ(command.action, 'e');
  EXPECT_EQ(command.folder, "/d/A B");
  for (const char* text : {"", "x \"a\" \"b\"", "a \"a.lzh\" \"b", "e \"a\" \"b\" -d", "a a.lzh b", "a \"a\" \"b\" -r"})
    EXPECT_FALSE(platform::archive::ParseUnlhaCommand(text, command, error)) << text;
}
