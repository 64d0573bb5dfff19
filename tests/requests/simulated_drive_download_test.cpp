// The drive database download from the simulated drive on 127.0.0.1 over UDP: its stored
// archive of a product definition and a drive database arrives whole, and the database it
// brings is the one the drive-database search and lookups use from then on.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "drivesim/simulated_drive.h"
#include "quillon/database/drive_db_location.h"
#include "quillon/database/trace_workbook.h"
#include "quillon/requests/drive_database_download.h"
#include "platform/archive/lzh_reader.h"
#include "tests/requests/download_support.h"
#include "tests/requests/loopback_exchange.h"

using namespace quillon;
using namespace platform::archive;
using namespace quillon_test;
namespace fs = std::filesystem;

namespace {

const fs::path kTemplateFolder = fs::path(QUILLON_BINARY_DIR) / "templates";
const fs::path kBuiltDriveDb = kTemplateFolder / "SIM01.00.mdb";

// Receives from `drive` over UDP into `appFolder`, extracting with the unchecking extractor.
DriveDatabaseOutcome receiveOverUdp(const drivesim::DriveProfile& profile, const fs::path& appFolder,
                                    std::vector<std::string>& messages, std::uint64_t& exchanges) {
  drivesim::SimulatedDrive drive(profile);
  std::string error;
  EXPECT_TRUE(drive.start({}, error)) << error;
  LoopbackExchange exchange(drive.port());
  EXPECT_EQ(exchange.openError(), "");
  ProgressBar bar;
  DriveDatabaseDownload download(exchange, bar,
                                 {nullptr, [&](const std::string& m) { messages.push_back(m); }},
                                 [](const std::string& command) {
                                   fs::path archive, folder;
                                   if (!ParseExtractCommand(command, archive, folder)) return 2;
                                   return ExtractWithoutChecks(archive, folder);
                                 },
                                 appFolder);
  download.ReceiveDriveDatabase();
  EXPECT_FALSE(exchange.state().AbortFlag) << exchange.state().ErrorText;
  EXPECT_EQ(bar.scaleWidth(), 360);
  exchanges = exchange.sendCount();
  return download.outcome();
}

// A copy of the simulated drive database whose first signal has another symbol.
fs::path markedDriveDb(const fs::path& folder) {
  const fs::path copy = folder / "marked.mdb";
  fs::copy_file(kBuiltDriveDb, copy);
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(copy.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "UPDATE MAIN SET symbol = 'RECEIVED_SPD_REF' WHERE address = '00010000'", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  return copy;
}

std::string symbolAt(const DriveDbSearch& search, const char* address, fs::path& found) {
  const auto path = LocateDriveDb(search, "RX-Fenn", "SIM01.00");
  if (!path) return "(none)";
  found = *path;
  DatabaseState databases;
  databases.openDriveDb(*path);
  const std::string symbol = databases.lookups.Address2Symbol(address);
  databases.closeDriveDb();
  return symbol;
}

}  // namespace

TEST(SimulatedDriveDatabase, StoredArchiveHoldsTheDriveDatabaseAndProductDefinition) {
  const Bytes archive = drivesim::StoredDatabaseArchive();
  std::string why;
  const auto layout = ReadLzhLayout(archive, why);
  ASSERT_TRUE(layout) << why;
  EXPECT_EQ(layout->extent, archive.size());
  EXPECT_EQ(layout->names, (std::vector<std::string>{"SIM01.00.mdb", "SIM01.00_RX-Fenn.pdn"}));
  // The plain profile keeps an erased area; the stored database is asked for.
  EXPECT_EQ(drivesim::DriveProfile().archiveSize(), 4u * 62);
  EXPECT_EQ(drivesim::DriveProfile(drivesim::WithStoredDatabase()).archiveSize(), archive.size());

  const TempFolder folder;
  const fs::path appFolder = folder.path() / "Quillon";
  fs::create_directories(appFolder);
  std::vector<std::string> messages;
  std::uint64_t exchanges = 0;
  EXPECT_EQ(receiveOverUdp(drivesim::DriveProfile(drivesim::WithStoredDatabase()), appFolder, messages, exchanges),
            DriveDatabaseOutcome::Extracted);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(exchanges, 1 + (archive.size() + 61) / 62);
  EXPECT_EQ(ReadFileBytes(appFolder / "SIM01.00.mdb"), ReadFileBytes(kBuiltDriveDb));
  EXPECT_FALSE(fs::exists(appFolder / "Temp.lzh"));

  // The product definition as the configuration tool writes it: UTF-16LE, BOM, CR LF lines.
  const Bytes definition = ReadFileBytes(appFolder / "SIM01.00_RX-Fenn.pdn");
  ASSERT_GE(definition.size(), 4u);
  EXPECT_EQ(definition[0], 0xFF);
  EXPECT_EQ(definition[1], 0xFE);
  std::string narrow;
  for (std::size_t i = 2; i + 1 < definition.size(); i += 2) {
    EXPECT_EQ(definition[i + 1], 0);
    narrow += static_cast<char>(definition[i]);
  }
  EXPECT_NE(narrow.find("\r\n    <signal name=\"ACC_TIME1\""), std::string::npos);
  EXPECT_EQ(narrow.find("\n\n"), std::string::npos);
  EXPECT_EQ(narrow.find('\n') - 1, narrow.find('\r'));
}

TEST(SimulatedDriveDatabase, ReceivedDatabaseIsTheOneTheLookupsUseAfterwards) {
  const TempFolder folder;
  const fs::path appFolder = folder.path() / "Quillon";
  fs::create_directories(appFolder);
  const DriveDbSearch search{appFolder, folder.path() / "opt", kTemplateFolder};

  // Before: only the database beside the program.
  fs::path found;
  EXPECT_EQ(symbolAt(search, "00010000", found), "SPD_REF");
  EXPECT_EQ(found, kTemplateFolder / "SIM01.00.mdb");

  // The drive brings a database of its own over UDP.
  Bytes database = ReadFileBytes(markedDriveDb(folder.path()));
  const Bytes definition = TextBytes("<signal name=\"X\"/>\r\n");
  drivesim::DriveOptions options;
  options.archive = drivesim::StoredLzhArchive({{"SIM01.00_RX-Fenn.pdn", definition}, {"SIM01.00.mdb", database}});
  std::vector<std::string> messages;
  std::uint64_t exchanges = 0;
  ASSERT_EQ(receiveOverUdp(drivesim::DriveProfile(options), appFolder, messages, exchanges),
            DriveDatabaseOutcome::Extracted);
  EXPECT_EQ(ReadFileBytes(appFolder / "SIM01.00.mdb"), database);

  // After: the search finds the received one first and the lookups read it.
  EXPECT_EQ(symbolAt(search, "00010000", found), "RECEIVED_SPD_REF");
  EXPECT_EQ(found, appFolder / "SIM01.00.mdb");
  EXPECT_EQ(symbolAt(search, "00010004", found), "SPD_FBK");
}

TEST(SimulatedDriveDatabase, LargeFileArrivesWholeOverUdp) {
  const TempFolder folder;
  const fs::path appFolder = folder.path() / "Quillon";
  fs::create_directories(appFolder);
  const Bytes big = PatternBytes(120000, 21);
  drivesim::DriveOptions options;
  options.archive = drivesim::StoredLzhArchive({{"big.bin", big}});
  std::vector<std::string> messages;
  std::uint64_t exchanges = 0;
  EXPECT_EQ(receiveOverUdp(drivesim::DriveProfile(options), appFolder, messages, exchanges),
            DriveDatabaseOutcome::Extracted);
  EXPECT_EQ(ReadFileBytes(appFolder / "big.bin"), big);
}
