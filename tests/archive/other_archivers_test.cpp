// Archives as other LHA programs write them, built byte by byte: MacLHA's MacBinary header
// before a member's data, the OS-9/68k level-2 header whose size is two bytes short, and an
// archive without its end byte. lhasa's `lha` is the judge that they are good archives; our
// extraction must give the same files. Also the caps, and names in a code page.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "drivesim/lzh_store.h"
#include "platform/archive/lzh_names.h"
#include "platform/archive/lzh_reader.h"
#include "platform/archive/lzh_writer.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::uint32_t kMacEpochOffset = 2082844800;  // 1904 to 1970, in seconds
constexpr std::uint32_t kStamp = 1700000000;           // the members' time stamp (Unix time)

class Scratch {
 public:
  explicit Scratch(const std::string& name) : root_(fs::temp_directory_path() / (name + "-" + std::to_string(::getpid()))) {
    fs::remove_all(root_);
    fs::create_directories(root_ / "ours");
    fs::create_directories(root_ / "lha");
  }
  ~Scratch() { fs::remove_all(root_); }
  const fs::path& root() const { return root_; }

 private:
  fs::path root_;
};

void putLittle(Bytes& bytes, std::size_t at, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}
void putBig(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * (3 - i)));
}
Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// One stored ("-lh0-") member under a level-2 header of the given OS: common header (its CRC
// over the whole header), file name. `shortSize`: the size field two bytes short, as the
// OS-9/68k LHA writes it (the header still runs on for them).
Bytes level2Member(const std::string& name, const Bytes& data, std::uint8_t os, bool shortSize = false) {
  Bytes header(26, 0);
  std::copy_n("-lh0-", 5, header.begin() + 2);
  putLittle(header, 7, static_cast<std::uint32_t>(data.size()), 4);
  putLittle(header, 11, static_cast<std::uint32_t>(data.size()), 4);
  putLittle(header, 15, kStamp, 4);
  header[19] = 0x20;
  header[20] = 2;
  putLittle(header, 21, drivesim::LzhCrc16(data), 2);
  header[23] = os;
  const Bytes common = {0x00, 0, 0, 0, 0};  // type, CRC, next size
  Bytes file = {0x01};
  file.insert(file.end(), name.begin(), name.end());
  file.insert(file.end(), {0, 0});
  putLittle(header, 24, static_cast<std::uint32_t>(common.size()), 2);
  header.insert(header.end(), common.begin(), common.end());
  putLittle(header, header.size() - 2, static_cast<std::uint32_t>(file.size()), 2);
  header.insert(header.end(), file.begin(), file.end());
  if ((header.size() & 0xFF) == 0) header.push_back(0);
  putLittle(header, 0, static_cast<std::uint32_t>(header.size() - (shortSize ? 2 : 0)), 2);
  putLittle(header, 27, drivesim::LzhCrc16(header), 2);
  header.insert(header.end(), data.begin(), data.end());
  return header;
}

// What MacLHA stores for a file with only a data fork: a 128-byte MacBinary header naming it,
// the data, zeros up to a multiple of 128.
Bytes macBinary(const std::string& name, const Bytes& data) {
  Bytes stored(128, 0);
  stored[1] = static_cast<std::uint8_t>(name.size());
  std::copy(name.begin(), name.end(), stored.begin() + 2);
  std::copy_n("TEXTttxt", 8, stored.begin() + 0x41);
  putBig(stored, 0x53, static_cast<std::uint32_t>(data.size()));
  putBig(stored, 0x5B, kStamp + kMacEpochOffset);
  putBig(stored, 0x5F, kStamp + kMacEpochOffset);
  stored.insert(stored.end(), data.begin(), data.end());
  stored.resize((stored.size() + 127) / 128 * 128, 0);
  return stored;
}

std::string readFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& file, const Bytes& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool haveCommand(const char* name) { return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0; }

// lhasa's `lha` extracts the archive into `folder`; false when it refuses.
bool lhaExtracts(const fs::path& archive, const fs::path& folder) {
  const std::string command = "cd \"" + folder.string() + "\" && lha xq \"" + archive.string() + "\" >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

}  // namespace

TEST(OtherArchivers, QuirksLhasaAcceptsAreExtractedAsLhaExtractsThem) {
  const Bytes text = bytesOf("[drive]\r\ntype=RX-Fenn\r\n");
  const Bytes mdb = bytesOf(std::string(3000, 'M'));
  struct Case {
    const char* what;
    Bytes archive;
    std::vector<std::pair<std::string, Bytes>> files;
  };
  Bytes withoutEnd = drivesim::StoredLzhArchive({{"SIM01.00.pdn", text}, {"SIM01.00.mdb", mdb}});
  withoutEnd.pop_back();
  Bytes mac = level2Member("SIM01.00.pdn", macBinary("SIM01.00.pdn", text), 'm');
  const Bytes macPlain = level2Member("SIM01.00.mdb", mdb, 'm');  // no MacBinary header: kept as it is
  mac.insert(mac.end(), macPlain.begin(), macPlain.end());
  mac.push_back(0);
  Bytes os9 = level2Member("SIM01.00.pdn", text, 'K', true);
  os9.push_back(0);
  const std::vector<Case> cases = {
      {"no end byte", withoutEnd, {{"SIM01.00.pdn", text}, {"SIM01.00.mdb", mdb}}},
      {"MacLHA", mac, {{"SIM01.00.pdn", text}, {"SIM01.00.mdb", mdb}}},
      {"OS-9/68k", os9, {{"SIM01.00.pdn", text}}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scratch scratch("archive-quirk");
    writeFile(scratch.root() / "a.lzh", c.archive);
    std::string why;
    ASSERT_TRUE(platform::archive::ReadLzhLayout(c.archive, why)) << why;
    why = platform::archive::ExtractArchiveFile(scratch.root() / "a.lzh", scratch.root() / "ours");
    ASSERT_EQ(why, "");
    for (const auto& [name, bytes] : c.files) EXPECT_EQ(readFile(scratch.root() / "ours" / name), std::string(bytes.begin(), bytes.end())) << name;
    if (!haveCommand("lha")) continue;
    ASSERT_TRUE(lhaExtracts(scratch.root() / "a.lzh", scratch.root() / "lha"));
    for (const auto& [name, bytes] : c.files) EXPECT_EQ(readFile(scratch.root() / "lha" / name), readFile(scratch.root() / "ours" / name)) << name;
  }
}

TEST(OtherArchivers, RefusedArchivesLeaveNoFileAndNoFolder) {
  const Bytes data = bytesOf("contents");
  Bytes damaged = drivesim::StoredLzhArchive({{"dir\\a.pdn", data}, {"other\\deep\\b.pdn", data}});
  damaged[damaged.size() - 3] ^= 0x40;  // in the last member
  const std::vector<std::pair<const char*, Bytes>> refused = {
      {"damaged in a folder", damaged},
      {"twice", drivesim::StoredLzhArchive({{"dir\\a.pdn", data}, {"dir\\a.pdn", data}})},
      {"below a file", drivesim::StoredLzhArchive({{"dir", data}, {"dir\\a.pdn", data}})}};
  for (const auto& [what, archive] : refused) {
    SCOPED_TRACE(what);
    Scratch scratch("archive-refused");
    writeFile(scratch.root() / "a.lzh", archive);
    EXPECT_NE(platform::archive::ExtractArchiveFile(scratch.root() / "a.lzh", scratch.root() / "ours"), "");
    EXPECT_TRUE(fs::is_empty(scratch.root() / "ours"));
  }

  // Something in the way in the folder: nothing of the archive is written, and what was there stays.
  Scratch scratch("archive-in-the-way");
  writeFile(scratch.root() / "a.lzh", drivesim::StoredLzhArchive({{"new.pdn", data}, {"old.mdb", data}}));
  fs::create_directories(scratch.root() / "ours" / "old.mdb");
  EXPECT_NE(platform::archive::ExtractArchiveFile(scratch.root() / "a.lzh", scratch.root() / "ours"), "");
  EXPECT_FALSE(fs::exists(scratch.root() / "ours" / "new.pdn"));
  EXPECT_TRUE(fs::is_directory(scratch.root() / "ours" / "old.mdb"));
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.root() / "ours"), fs::directory_iterator()), 1);

  // A file of the same name is replaced by the archive's.
  fs::remove(scratch.root() / "ours" / "old.mdb");
  writeFile(scratch.root() / "ours" / "old.mdb", bytesOf("earlier"));
  EXPECT_EQ(platform::archive::ExtractArchiveFile(scratch.root() / "a.lzh", scratch.root() / "ours"), "");
  EXPECT_EQ(readFile(scratch.root() / "ours" / "old.mdb"), "contents");
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.root() / "ours"), fs::directory_iterator()), 2);
}

TEST(OtherArchivers, CapsAreCheckedAgainstDeclaredSizesBeforeAnythingIsWritten) {
  Scratch scratch("archive-caps");
  const Bytes kilobyte(1000, 'k');
  writeFile(scratch.root() / "a.lzh", drivesim::StoredLzhArchive({{"a.pdn", kilobyte}, {"b.pdn", kilobyte}, {"c.pdn", kilobyte}}));
  platform::archive::ExtractPolicy policy;
  policy.maxMemberBytes = 999;
  std::string why = platform::archive::ExtractArchiveFile(scratch.root() / "a.lzh", scratch.root() / "ours", policy);
  EXPECT_NE(why.find("999"), std::string::npos) << why;
  policy.maxMemberBytes = 1000;
  policy.maxTotalBytes = 2999;
  why = platform::archive::ExtractArchiveFile(scratch.root() / "a.lzh", scratch.root() / "ours", policy);
  EXPECT_NE(why.find("2999"), std::string::npos) << why;
  // More than the disk holds.
  policy.maxTotalBytes = 3000;
  policy.spareBytes = fs::space(scratch.root()).available;
  why = platform::archive::ExtractArchiveFile(scratch.root() / "a.lzh", scratch.root() / "ours", policy);
  EXPECT_NE(why.find("do not fit"), std::string::npos) << why;
  EXPECT_TRUE(fs::is_empty(scratch.root() / "ours"));

  policy.spareBytes = 0;
  EXPECT_EQ(platform::archive::ExtractArchiveFile(scratch.root() / "a.lzh", scratch.root() / "ours", policy), "");
  // The decoder writes no more than a header declares, whatever the data says.
  const platform::archive::ExtractPolicy defaults;
  EXPECT_LT(defaults.maxMemberBytes, 100u * 1024 * 1024);
}
