// What the archiver refuses: damaged archives, entries outside the folder, packing into a
// place that cannot be written, and command texts it does not know.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "drivesim/lzh_store.h"
#include "platform/archive/lzh_reader.h"
#include "platform/archive/unlha.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

fs::path FreshFolder(const std::string& name) {
  const fs::path root = fs::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "out");
  return root;
}

void WriteBytes(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(ArchiveRefusals, DamagedAndEscapingArchivesWriteNothing) {
  const fs::path root = FreshFolder("archive-refuse");
  const std::vector<std::uint8_t> good = drivesim::StoredLzhArchive({{"a.txt", {'h', 'e', 'l', 'l', 'o'}}});
  std::vector<std::uint8_t> flipped = good;
  flipped[flipped.size() - 3] ^= 0x40;
  const std::vector<std::uint8_t> cut(good.begin(), good.end() - 4);
  const std::vector<std::vector<std::uint8_t>> bad = {
      flipped, cut, drivesim::StoredLzhArchive({{"../up.txt", {'x'}}}),
      drivesim::StoredLzhArchive({{"/tmp/abs.txt", {'x'}}}), drivesim::StoredLzhArchive({{"a.txt", {'x'}}, {"s\\..\\..\\b", {'y'}}})};
  for (std::size_t i = 0; i < bad.size(); ++i) {
    WriteBytes(root / "bad.lzh", bad[i]);
    EXPECT_FALSE(platform::archive::ExtractArchiveFile(root / "bad.lzh", root / "out").empty()) << i;
    EXPECT_TRUE(fs::is_empty(root / "out")) << i;
    // A target folder made for the extraction goes again with the failure.
    EXPECT_FALSE(platform::archive::ExtractArchiveFile(root / "bad.lzh", root / "new" / "deeper").empty()) << i;
    EXPECT_FALSE(fs::exists(root / "new")) << i;
  }
  EXPECT_FALSE(fs::exists(root / "up.txt"));
  WriteBytes(root / "good.lzh", good);
  EXPECT_EQ(platform::archive::ExtractArchiveFile(root / "good.lzh", root / "new" / "deeper"), "");
  EXPECT_TRUE(fs::exists(root / "new" / "deeper" / "a.txt"));
  fs::remove_all(root);
}

// Members are decoded by several threads at once; the one named is still the first damaged
// member in the archive's order, and an archive whose members are all sound passes.
TEST(ArchiveRefusals, TheFirstDamagedMemberIsNamedWhicheverThreadDecodesIt) {
  const fs::path root = FreshFolder("archive-first-damaged");
  std::vector<drivesim::LzhMember> members;
  for (int i = 0; i < 8; ++i) {
    Bytes data;
    for (int k = 0; k < 20000 + 3000 * i; ++k) data.push_back(static_cast<std::uint8_t>((k * 7 + i) % 251));
    members.push_back({"m" + std::to_string(i) + ".bin", data});
  }
  const Bytes sound = drivesim::StoredLzhArchive(members);
  // Where member i's data lies: level-0 headers (their size in byte 0, the two bytes before it
  // not counted), stored data.
  auto dataOf = [&](std::size_t member) {
    std::size_t at = 0;
    for (std::size_t i = 0;; ++i) {
      const std::size_t header = sound[at] + std::size_t{2};
      const std::size_t size = sound[at + 7] | sound[at + 8] << 8 | sound[at + 9] << 16 | std::size_t{sound[at + 10]} << 24;
      if (i == member) return std::pair{at + header, size};
      at += header + size;
    }
  };
  auto check = [&](const Bytes& archive) {
    WriteBytes(root / "a.lzh", archive);
    std::string why;
    const auto layout = platform::archive::ReadLzhLayout(archive, why);
    EXPECT_TRUE(layout) << why;
    return layout ? platform::archive::CheckArchiveFile(root / "a.lzh", *layout) : why;
  };
  EXPECT_EQ(check(sound), "");
  for (const std::size_t first : {std::size_t{1}, std::size_t{5}}) {
    Bytes damaged = sound;
    for (const std::size_t member : {first, first + 2}) {
      const auto [begin, size] = dataOf(member);
      damaged[begin + size / 2] ^= 0x5A;
    }
    EXPECT_EQ(check(damaged), "the entry \"m" + std::to_string(first) + ".bin\" is damaged");
  }
  fs::remove_all(root);
}

TEST(ArchiveRefusals, PackIntoUnwritablePlaceDeletesNothing) {
  const fs::path root = FreshFolder("archive-unwritable");
  fs::create_directories(root / "W");
  std::ofstream(root / "W" / "keep.csv") << "1,2\r\n";
  std::ofstream(root / "plain") << "a file, not a folder";
  std::ofstream(root / "earlier.lzh") << "an earlier run's archive";
  char output[64];
  for (const fs::path& archive : {root / "missing" / "A.lzh", root / "plain" / "A.lzh", root / "earlier.lzh"}) {
    const std::string command = "a \"" + archive.string() + "\" \"" + (root / "W").string() + "\"\\ *.* -d -n1 -gm1";
    EXPECT_NE(Unlha(nullptr, command.c_str(), output, sizeof output), 0);
    EXPECT_LT(std::strlen(output), sizeof output);
    EXPECT_TRUE(fs::exists(root / "W" / "keep.csv"));
  }
  std::ifstream earlier(root / "earlier.lzh");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(earlier), {}), "an earlier run's archive") << "never replaced";
  EXPECT_FALSE(fs::exists(root / "earlier.lzh.part"));
  fs::remove_all(root);
}

TEST(ArchiveRefusals, OnlyTheTwoCommandFormsParse) {
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

}  // namespace
