// Folders packed by the archiver come back byte for byte, through lhasa's own `lha` command
// and through our extraction.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <unistd.h>
#include <random>
#include <string>

#include "platform/archive/lzh_names.h"
#include "platform/archive/lzh_reader.h"
#include "platform/archive/unlha.h"

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ArchivePack, FilesComeBackThroughLhaAndOurExtraction) {
  const fs::path root = fs::temp_directory_path() / ("archive-test-" + std::to_string(::getpid()));
  fs::remove_all(root);
  std::mt19937 random(7);
  std::string noise(70000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  std::string large;
  while (large.size() < (1u << 20) + 1000) large += std::to_string(large.size() % 977) + ",12.5,-3\r\n";
  const std::map<std::string, std::string> files = {
      {"empty.csv", ""}, {"one.txt", "x"}, {"same.bin", std::string(100000, 'a')},
      {"noise.bin", noise}, {"large.csv", large}, {"sub/deeper/Grün é.csv", "1,2,3\r\n"}};
  for (const auto& [name, bytes] : files) WriteFile(root / "W" / name, bytes);

  char output[256];
  const std::string command = "a \"" + (root / "A.lzh").string() + "\" \"" + (root / "W").string() + "\"\\ *.* -d -n1 -gm1";
  ASSERT_EQ(Unlha(nullptr, command.c_str(), output, sizeof output), 0) << output;
  for (const auto& [name, bytes] : files) EXPECT_FALSE(fs::exists(root / "W" / name)) << name;

  fs::create_directories(root / "ours");
  const std::string why = platform::archive::ExtractArchiveFile(root / "A.lzh", root / "ours");
  ASSERT_TRUE(why.empty()) << why;
  for (const auto& [name, bytes] : files) EXPECT_EQ(ReadFile(root / "ours" / name), bytes) << name;

  if (std::system("command -v lha >/dev/null 2>&1") == 0) {
    fs::create_directories(root / "lha");
    const std::string lha = "cd \"" + (root / "lha").string() + "\" && lha xq \"" + (root / "A.lzh").string() + "\" >/dev/null";
    ASSERT_EQ(std::system(lha.c_str()), 0);
    // lhasa writes the stored bytes: names in windows-1252.
    for (const auto& [name, bytes] : files)
      EXPECT_EQ(ReadFile(root / "lha" / platform::archive::StoredName(name, "windows-1252")), bytes) << name;
  }
  fs::remove_all(root);
}

}  // namespace
