// Member names that are not ASCII: stored in the run's ANSI code page, as the LHA tools of
// Windows read them, judged by two readers we did not write (lhasa's `lha`, which writes the
// stored bytes as they are, and 7-Zip), and read back by our own extraction.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>

#include "platform/archive/lzh_names.h"
#include "platform/archive/lzh_reader.h"
#include "platform/archive/lzh_writer.h"
#include "tests/archive/archive_test_files.h"

using namespace archive_test;
using platform::archive::NameFromStored;
using platform::archive::StoredName;

namespace {

const std::string kWestern = "F\xC3\xB6rderband 3";                   // "Förderband 3"
const std::string kJapanese = "\xE6\x90\xAC\xE9\x80\x81\xE3\x83\xA9\xE3\x82\xA4\xE3\x83\xB3";  // "搬送ライン"
const std::string kWesternIn1252 = "F\xF6rderband 3";
const std::string kJapaneseInCp932 = "\x94\xC0\x91\x97\x83\x89\x83\x43\x83\x93";

// The file names below `folder`, '/' between parts, as bytes.
std::set<std::string> namesBelow(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) names.insert(entry.path().lexically_relative(folder).string());
  return names;
}

// "Path = ..." lines of 7-Zip's technical listing, as it shows the names.
std::set<std::string> sevenZipPaths(const fs::path& archive) {
  std::string listing;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("7z l -slt \"" + archive.string() + "\" 2>/dev/null").c_str(), "r"), pclose);
  char buffer[4096];
  for (std::size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) listing.append(buffer, n);
  std::set<std::string> paths;
  std::size_t at = listing.find("----------");
  while ((at = listing.find("\nPath = ", at)) != std::string::npos) {
    const std::size_t end = listing.find('\n', at + 1);
    paths.insert(listing.substr(at + 8, end - at - 8));
    at = end;
  }
  return paths;
}

}  // namespace

TEST(ArchiveNames, StoredInTheCodePageOrWholeInUtf8) {
  EXPECT_EQ(StoredName(kWestern, "windows-1252"), kWesternIn1252);
  EXPECT_EQ(StoredName(kJapanese, "CP932"), kJapaneseInCp932);
  EXPECT_EQ(StoredName(kJapanese, "windows-1252"), kJapanese);  // no such characters there
  EXPECT_EQ(StoredName("DriveSts_A.csv", "CP932"), "DriveSts_A.csv");
  for (const char* codePage : {"windows-1252", "CP932"})
    for (const std::string& name : {kWestern, kJapanese, std::string("plain/a.csv")})
      EXPECT_EQ(NameFromStored(StoredName(name, codePage), codePage), name) << codePage;
  EXPECT_EQ(NameFromStored("\x83", "CP932"), "");  // half a character, and not UTF-8 either
}

TEST(ArchiveNames, LhaAnd7ZipReadTheStoredBytesAndWeReadTheNamesBack) {
  for (const char* codePage : {"windows-1252", "CP932"}) {
    SCOPED_TRACE(codePage);
    Scratch scratch("archive-names");
    for (const std::string& folder : {kWestern, kJapanese}) writeFile(scratch / "W" / folder / "DriveSts.csv", folder + "\r\n");
    const fs::path archive = scratch / "A.lzh";
    platform::archive::PackedFolder packed;
    std::string error;
    ASSERT_TRUE(platform::archive::WriteLzhArchive(archive, scratch / "W", packed, error, codePage)) << error;
    const std::string western = std::string(codePage) == "CP932" ? kWestern : kWesternIn1252;
    const std::string japanese = std::string(codePage) == "CP932" ? kJapaneseInCp932 : kJapanese;
    const std::set<std::string> stored = {western + "/DriveSts.csv", japanese + "/DriveSts.csv"};

    fs::create_directories(scratch / "ours");
    platform::archive::ExtractPolicy policy;
    policy.nameCodePage = codePage;
    ASSERT_EQ(platform::archive::ExtractArchiveFile(archive, scratch / "ours", policy), "");
    EXPECT_EQ(namesBelow(scratch / "ours"), (std::set<std::string>{kWestern + "/DriveSts.csv", kJapanese + "/DriveSts.csv"}));

    if (!haveCommand("lha") || !haveCommand("7z")) {
      if (runningInCi()) FAIL() << "lha or 7z not installed";
      GTEST_SKIP() << "lha or 7z not installed";
    }
    ASSERT_TRUE(lhaExtracts(archive, scratch / "lha"));
    EXPECT_EQ(namesBelow(scratch / "lha"), stored);

    // 7-Zip on Linux shows the stored bytes too, folders and files.
    const std::set<std::string> shown = sevenZipPaths(archive);
    for (const std::string& name : stored) EXPECT_EQ(shown.count(name), 1u) << name;
    EXPECT_EQ(shown.count(western), 1u);
    EXPECT_EQ(shown.size(), 4u);
  }
}
