#include "quillon/database/drive_db_location.h"

#include <fstream>

#include <gtest/gtest.h>

#include "tests/db/test_files.h"

using namespace quillon;

namespace {
void touch(const std::filesystem::path& path) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path) << "x";
}
}  // namespace

TEST(DriveDbLocation, TriesTheFiveFoldersInOrderWithoutRegardToCase) {
  db_test::ScratchFolder scratch;
  DriveDbSearch search{scratch.file("data"), scratch.file("root"), scratch.file("program")};
  std::filesystem::create_directories(search.dataFolder);

  auto candidates = DriveDbCandidates(search, " VX-100 ", " V1.00   ");
  EXPECT_EQ(candidates, (std::vector<std::filesystem::path>{
                            search.dataFolder / "V1.00.mdb",
                            search.installRoot / "Program files/Korvane/Pelmark Tool/DRIVE DB/VX-100/V1.00.mdb",
                            search.installRoot / "Program Files/Orlenta/DRIVE DB/VX-100/V1.00.mdb",
                            search.installRoot / "Program Files/Ardell/Stravix/Definitions/Product Definition/V1.00.mdb",
                            search.programFolder / "V1.00.mdb"}));
  EXPECT_FALSE(LocateDriveDb(search, "VX-100", "V1.00"));

  // Each earlier candidate, in any case, wins over the later ones once it is there.
  for (const std::filesystem::path& file :
       {search.programFolder / "V1.00.mdb",
        search.installRoot / "PROGRAM FILES/ardell/STRAVIX/definitions/product definition/v1.00.MDB",
        search.installRoot / "program files/orlenta/drive db/vx-100/V1.00.mdb",
        search.installRoot / "Program Files/Korvane/Pelmark Tool/DRIVE DB/VX-100/V1.00.mdb", search.dataFolder / "V1.00.mdb"}) {
    touch(file);
    EXPECT_EQ(LocateDriveDb(search, " VX-100", "V1.00 "), file);
  }

  // A folder with the database's name is not a database.
  std::filesystem::create_directories(search.dataFolder / "V2.00.mdb");
  EXPECT_FALSE(LocateDriveDb(search, "VX-100", "V2.00"));
}

TEST(DriveDbLocation, DriveTextsNeverLeadOutOfTheSearchFolders) {
  db_test::ScratchFolder scratch;
  DriveDbSearch search{scratch.file("data"), scratch.file("root"), scratch.file("program")};
  touch(scratch.file("outside.mdb"));
  touch(search.dataFolder / "inside.mdb");
  EXPECT_FALSE(LocateDriveDb(search, "VX", "../outside"));
  EXPECT_FALSE(LocateDriveDb(search, "VX", ".."));
  EXPECT_FALSE(LocateDriveDb(search, "VX", ""));
  EXPECT_TRUE(DriveDbCandidates(search, "VX", "a/b").empty());
  // An unusable drive type only drops the two folders named by it.
  EXPECT_EQ(DriveDbCandidates(search, "../..", "inside").size(), 3u);
  EXPECT_EQ(LocateDriveDb(search, "../..", "inside"), search.dataFolder / "inside.mdb");
}
