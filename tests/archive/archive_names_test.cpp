// Member names that are not ASCII: stored in the run's ANSI code page, as the LHA tools of
// Windows read them, judged by two readers we did not write (lhasa's `lha`, which writes the
// stored bytes as they are, and 7-Zip), and read back by our own extraction.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "platform/archive/lzh_names.h"
#include "platform/archive/lzh_reader.h"
#include "platform/archive/lzh_writer.h"

namespace fs = std::filesystem;
using platform::archive::NameFromStored;
using platform::archive::StoredName;

namespace {

const std::string kWestern = "F\xC3\xB6rderband 3";                   // "Förderband 3"
const std::string kJapanese = "\xE6\x90\xAC\xE9\x80\x81\xE3\x83\xA9\xE3\x82\xA4\xE3\x83\xB3";  // "搬送ライン"
const std::string kWesternIn1252 = "F\xF6rderband 3";
const std::string kJapaneseInCp932 = "\x94\xC0\x91\x97\x83\x89\x83\x43\x83\x93";

std::string run(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string output;
  char buffer[4096];
  for (std::size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) output.append(buffer, n);
  return output;
}

bool haveCommand(const char* name) { return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0; }

bool runningInCi() {
  const char* ci = std::getenv("CI");
  return ci && std::string(ci) == "true";
}

// The file names below `folder`, '/' between parts, as bytes.
std::set<std::string> namesBelow(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) names.insert(entry.path().lexically_relative(folder).string());
  return names;
}

// "Path = ..." lines of 7-Zip's technical listing, as it shows the names.
std::set<std::string> sevenZipPaths(const fs::path& archive) {
  std::set<std::string> paths;
  const std::string listing = run("7z l -slt \"" + archive.string() + "\" 2>/dev/null");
  std::size_t at = listing.find("----------");
  while ((at = listing.find("\nPath = ", at)) != std::string::npos) {
    const std::size_t end = listing.find('\n', at + 1);
    paths.insert(listing.substr(at + 8, end - at - 8));
    at = end;
  }
  return paths;
}

struct Packed {
  fs::path root;
  fs::path archive;
  explicit Packed(const std::string& codePage) : root(fs::temp_directory_path() / ("archive-names-" + std::to_string(::getpid()))) {
    fs::remove_all(root);
    for (const std::string& folder : {kWestern, kJapanese}) {
      fs::create_directories(root / "W" / folder);
      std::ofstream(root / "W" / folder / "DriveSts.csv") << folder << "\r\n";
    }
    archive = root / "A.lzh";
    platform::archive::PackedFolder packed;
    std::string error;
    ok = platform::archive::WriteLzhArchive(archive, root / "W", packed, error, codePage);
    EXPECT_TRUE(ok) << error;
  }
  ~Packed() { fs::remove_all(root); }
  bool ok = false;
};

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
    Packed packed(codePage);
    ASSERT_TRUE(packed.ok);
    const std::string western = std::string(codePage) == "CP932" ? kWestern : kWesternIn1252;
    const std::string japanese = std::string(codePage) == "CP932" ? kJapaneseInCp932 : kJapanese;
    const std::set<std::string> stored = {western + "/DriveSts.csv", japanese + "/DriveSts.csv"};

    fs::create_directories(packed.root / "ours");
    platform::archive::ExtractPolicy policy;
    policy.nameCodePage = codePage;
    ASSERT_EQ(platform::archive::ExtractArchiveFile(packed.archive, packed.root / "ours", policy), "");
    EXPECT_EQ(namesBelow(packed.root / "ours"),
              (std::set<std::string>{kWestern + "/DriveSts.csv", kJapanese + "/DriveSts.csv"}));

    if (!haveCommand("lha") || !haveCommand("7z")) {
      if (runningInCi()) FAIL() << "lha or 7z not installed";
      GTEST_SKIP() << "lha or 7z not installed";
    }
    fs::create_directories(packed.root / "lha");
    ASSERT_EQ(std::system(("cd \"" + (packed.root / "lha").string() + "\" && lha xq \"" + packed.archive.string() + "\"").c_str()), 0);
    EXPECT_EQ(namesBelow(packed.root / "lha"), stored);

    // 7-Zip on Linux shows the stored bytes too, folders and files.
    const std::set<std::string> shown = sevenZipPaths(packed.archive);
    for (const std::string& name : stored) EXPECT_EQ(shown.count(name), 1u) << name;
    EXPECT_EQ(shown.count(western), 1u);
    EXPECT_EQ(shown.size(), 4u);
  }
}
