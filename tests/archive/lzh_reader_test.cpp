// Reading archives: as other LHA programs write them, built byte by byte (MacLHA's MacBinary
// header before a member's data, the OS-9/68k level-2 header whose size is two bytes short, an
// archive without its end byte), with lhasa's `lha` as the judge that they are good archives;
// and the archives that are refused, which leave nothing behind.
#include <gtest/gtest.h>

#include "drivesim/lzh_store.h"
#include "platform/archive/lzh_reader.h"
#include "tests/archive/archive_test_files.h"

using namespace archive_test;
using platform::archive::ExtractArchiveFile;

namespace {

constexpr std::uint32_t kMacEpochOffset = 2082844800;  // 1904 to 1970, in seconds
constexpr std::uint32_t kStamp = 1700000000;           // the members' time stamp (Unix time)

void putLittle(Bytes& bytes, std::size_t at, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}
void putBig(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * (3 - i)));
}

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

}  // namespace

TEST(LzhReader, QuirksLhasaAcceptsAreExtractedAsLhaExtractsThem) {
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
    writeFile(scratch / "a.lzh", c.archive);
    std::string why;
    ASSERT_TRUE(platform::archive::ReadLzhLayout(c.archive, why)) << why;
    ASSERT_EQ(ExtractArchiveFile(scratch / "a.lzh", scratch / "ours"), "");
    for (const auto& [name, bytes] : c.files) EXPECT_EQ(readFile(scratch / "ours" / name), std::string(bytes.begin(), bytes.end())) << name;
    if (!haveCommand("lha")) continue;
    ASSERT_TRUE(lhaExtracts(scratch / "a.lzh", scratch / "lha"));
    for (const auto& [name, bytes] : c.files) EXPECT_EQ(readFile(scratch / "lha" / name), readFile(scratch / "ours" / name)) << name;
  }
}

TEST(LzhReader, RefusedArchivesLeaveNoFileAndNoFolder) {
  Scratch scratch("archive-refused");
  const Bytes data = bytesOf("contents");
  const Bytes good = drivesim::StoredLzhArchive({{"a.txt", bytesOf("hello")}});
  Bytes flipped = good;
  flipped[flipped.size() - 3] ^= 0x40;
  Bytes damagedInFolder = drivesim::StoredLzhArchive({{"dir\\a.pdn", data}, {"other\\deep\\b.pdn", data}});
  damagedInFolder[damagedInFolder.size() - 3] ^= 0x40;  // in the last member
  const std::vector<std::pair<const char*, Bytes>> refused = {
      {"damaged", flipped},
      {"cut short", Bytes(good.begin(), good.end() - 4)},
      {"up and out", drivesim::StoredLzhArchive({{"../up.txt", {'x'}}})},
      {"absolute", drivesim::StoredLzhArchive({{"/tmp/abs.txt", {'x'}}})},
      {"out after a good one", drivesim::StoredLzhArchive({{"a.txt", {'x'}}, {"s\\..\\..\\b", {'y'}}})},
      {"damaged in a folder", damagedInFolder},
      {"twice", drivesim::StoredLzhArchive({{"dir\\a.pdn", data}, {"dir\\a.pdn", data}})},
      {"below a file", drivesim::StoredLzhArchive({{"dir", data}, {"dir\\a.pdn", data}})}};
  fs::create_directories(scratch / "out");
  for (const auto& [what, archive] : refused) {
    SCOPED_TRACE(what);
    writeFile(scratch / "bad.lzh", archive);
    EXPECT_NE(ExtractArchiveFile(scratch / "bad.lzh", scratch / "out"), "");
    EXPECT_TRUE(fs::is_empty(scratch / "out"));
    // A target folder made for the extraction goes again with the failure.
    EXPECT_NE(ExtractArchiveFile(scratch / "bad.lzh", scratch / "new" / "deeper"), "");
    EXPECT_FALSE(fs::exists(scratch / "new"));
  }
  EXPECT_FALSE(fs::exists(scratch / "up.txt"));
  writeFile(scratch / "good.lzh", good);
  EXPECT_EQ(ExtractArchiveFile(scratch / "good.lzh", scratch / "new" / "deeper"), "");
  EXPECT_TRUE(fs::exists(scratch / "new" / "deeper" / "a.txt"));

  // Something in the way in the folder: nothing of the archive is written, and what was there stays.
  const fs::path out = scratch / "in the way";
  writeFile(scratch / "a.lzh", drivesim::StoredLzhArchive({{"new.pdn", data}, {"old.mdb", data}}));
  fs::create_directories(out / "old.mdb");
  EXPECT_NE(ExtractArchiveFile(scratch / "a.lzh", out), "");
  EXPECT_FALSE(fs::exists(out / "new.pdn"));
  EXPECT_TRUE(fs::is_directory(out / "old.mdb"));
  EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);

  // A file of the same name is replaced by the archive's.
  fs::remove(out / "old.mdb");
  writeFile(out / "old.mdb", "earlier");
  EXPECT_EQ(ExtractArchiveFile(scratch / "a.lzh", out), "");
  EXPECT_EQ(readFile(out / "old.mdb"), "contents");
  EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 2);
}

// Members are decoded by several threads at once; the one named is still the first damaged
// member in the archive's order, and an archive whose members are all sound passes.
TEST(LzhReader, TheFirstDamagedMemberIsNamedWhicheverThreadDecodesIt) {
  Scratch scratch("archive-first-damaged");
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
    writeFile(scratch / "a.lzh", archive);
    std::string why;
    const auto layout = platform::archive::ReadLzhLayout(archive, why);
    EXPECT_TRUE(layout) << why;
    return layout ? platform::archive::CheckArchiveFile(scratch / "a.lzh", *layout) : why;
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
}

TEST(LzhReader, CapsAreCheckedAgainstDeclaredSizesBeforeAnythingIsWritten) {
  Scratch scratch("archive-caps");
  fs::create_directories(scratch / "ours");
  const Bytes kilobyte(1000, 'k');
  writeFile(scratch / "a.lzh", drivesim::StoredLzhArchive({{"a.pdn", kilobyte}, {"b.pdn", kilobyte}, {"c.pdn", kilobyte}}));
  platform::archive::ExtractPolicy policy;
  policy.maxMemberBytes = 999;
  std::string why = ExtractArchiveFile(scratch / "a.lzh", scratch / "ours", policy);
  EXPECT_NE(why.find("999"), std::string::npos) << why;
  policy.maxMemberBytes = 1000;
  policy.maxTotalBytes = 2999;
  why = ExtractArchiveFile(scratch / "a.lzh", scratch / "ours", policy);
  EXPECT_NE(why.find("2999"), std::string::npos) << why;
  // More than the disk holds, by far more than other work on the machine may free meanwhile.
  policy.maxTotalBytes = 3000;
  policy.spareBytes = fs::space(scratch / "").available + (std::uintmax_t{1} << 30);
  why = ExtractArchiveFile(scratch / "a.lzh", scratch / "ours", policy);
  EXPECT_NE(why.find("do not fit"), std::string::npos) << why;
  EXPECT_TRUE(fs::is_empty(scratch / "ours"));

  policy.spareBytes = 0;
  EXPECT_EQ(ExtractArchiveFile(scratch / "a.lzh", scratch / "ours", policy), "");
  EXPECT_LT(platform::archive::ExtractPolicy{}.maxMemberBytes, 100u * 1024 * 1024);  // capped by default
}
