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
  ASSERT_EQ(candidates.size(), 5u);
  EXPECT_EQ(candidates[0], search.dataFolder / "V1.00.mdb");
  EXPECT_EQ(candidates[1], search.installRoot / "Program files/Korvane/Pelmark Tool/DRIVE DB/VX-100/V1.00.mdb");
  EXPECT_EQ(candidates[2], search.installRoot / "Program Files/Orlenta/DRIVE DB/VX-100/V1.00.mdb");
  EXPECT_EQ(candidates[3], search.installRoot / "Program Files/Ardell/Stravix/Definitions/Product Definition/V1.00.mdb");
  EXPECT_EQ(candidates[4], search.programFolder / "V1.00.mdb");

  EXPECT_FALSE(LocateDriveDb(search, "VX-100", "V1.00"));

  // Each later candidate is found only while the earlier ones are missing.
  touch(search.programFolder / "V1.00.mdb");
  EXPECT_EQ(LocateDriveDb(search, "VX-100", "V1.00"), candidates[4]);
  auto stravix = search.installRoot / "PROGRAM FILES/ardell/STRAVIX/definitions/product definition/v1.00.MDB";
  touch(stravix);
  EXPECT_EQ(LocateDriveDb(search, "VX-100", "V1.00"), stravix);
  auto orlenta = search.installRoot / "program files/orlenta/drive db/vx-100/V1.00.mdb";
  touch(orlenta);
  EXPECT_EQ(LocateDriveDb(search, "VX-100", "V1.00"), orlenta);
  auto korvane = search.installRoot / "Program Files/Korvane/Pelmark Tool/DRIVE DB/VX-100/V1.00.mdb";
  touch(korvane);
  EXPECT_EQ(LocateDriveDb(search, "VX-100", "V1.00"), korvane);
  touch(search.dataFolder / "V1.00.mdb");
  EXPECT_EQ(LocateDriveDb(search, " VX-100", "V1.00 "), candidates[0]);

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
