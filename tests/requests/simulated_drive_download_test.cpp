// The drive database download from the simulated drive on 127.0.0.1 over UDP: its stored
// archive of a product definition and a drive database arrives whole, and the database it
// brings is the one the drive-database search finds from then on.
#include <gtest/gtest.h>

#include "drivesim/simulated_drive.h"
#include "quillon/database/drive_db_location.h"
#include "quillon/database/trace_workbook.h"
#include "quillon/requests/drive_database_download.h"
#include "platform/archive/lzh_reader.h"
#include "tests/requests/download_support.h"
#include "tests/requests/loopback_exchange.h"

using namespace quillon;
using namespace quillon_test;
namespace fs = std::filesystem;

TEST(SimulatedDriveDatabase, StoredArchiveArrivesOverUdpAndItsDatabaseIsFoundFirst) {
  const Bytes archive = drivesim::StoredDatabaseArchive();
  std::string why;
  const auto layout = platform::archive::ReadLzhLayout(archive, why);
  ASSERT_TRUE(layout) << why;
  EXPECT_EQ(layout->extent, archive.size());
  EXPECT_EQ(layout->names, (std::vector<std::string>{"SIM01.00.mdb", "SIM01.00_RX-Fenn.pdn"}));
  // The plain profile keeps an erased area; the stored database is asked for.
  EXPECT_EQ(drivesim::DriveProfile().archiveSize(), 4u * 62);
  EXPECT_EQ(drivesim::DriveProfile(drivesim::WithStoredDatabase()).archiveSize(), archive.size());

  const TempFolder folder;
  const fs::path appFolder = folder.path() / "Quillon";
  fs::create_directories(appFolder);
  const fs::path templates = fs::path(QUILLON_BINARY_DIR) / "templates";
  const DriveDbSearch search{appFolder, folder.path() / "opt", templates};
  EXPECT_EQ(LocateDriveDb(search, "RX-Fenn", "SIM01.00"), templates / "SIM01.00.mdb");

  drivesim::SimulatedDrive drive(drivesim::DriveProfile(drivesim::WithStoredDatabase()));
  ASSERT_TRUE(drive.start({}, why)) << why;
  LoopbackExchange exchange(drive.port());
  ASSERT_EQ(exchange.openError(), "");
  ProgressBar bar;
  std::vector<std::string> messages;
  DriveDatabaseDownload download(exchange, bar, {nullptr, [&](const std::string& m) { messages.push_back(m); }},
                                 [](const std::string& command) {
                                   fs::path archive, target;
                                   if (!ParseExtractCommand(command, archive, target)) return 2;
                                   return ExtractWithoutChecks(archive, target);
                                 },
                                 appFolder);
  download.ReceiveDriveDatabase();
  EXPECT_FALSE(exchange.state().AbortFlag) << exchange.state().ErrorText;
  EXPECT_EQ(download.outcome(), DriveDatabaseOutcome::Extracted);
  EXPECT_EQ(bar.scaleWidth(), 360);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(exchange.sendCount(), 1 + (archive.size() + 61) / 62);
  EXPECT_EQ(ReadFileBytes(appFolder / "SIM01.00.mdb"), ReadFileBytes(templates / "SIM01.00.mdb"));
  EXPECT_FALSE(fs::exists(appFolder / "Temp.lzh"));

  // From now on the search finds the received database first, and it opens.
  const auto found = LocateDriveDb(search, "RX-Fenn", "SIM01.00");
  ASSERT_EQ(found, appFolder / "SIM01.00.mdb");
  DatabaseState databases;
  databases.openDriveDb(*found);
  EXPECT_EQ(databases.lookups.Address2Symbol("00010004"), "SPD_FBK");
  databases.closeDriveDb();

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
