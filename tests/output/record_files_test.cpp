#include <gtest/gtest.h>

#include "quillon/output/drive_status_file.h"
#include "quillon/output/setpoint_files.h"
#include "quillon/output/trouble_files.h"

using namespace quillon;

namespace {

MemoryTables setpointTables(std::int32_t start, std::int32_t end) {
  MemoryTables tables;
  tables.ranges.SetpointStart = start;
  tables.ranges.SetpointEnd = end;
  resizeSetpointWords(tables);
  return tables;
}

}  // namespace

TEST(SetpointFile, LinesFollowTheTableWithAddressLabels) {
  MemoryTables startup = setpointTables(0, 3068);
  startup.SetpointWords[1] = -5;
  startup.SetpointWords[2] = 32767;
  startup.SetpointWords[1536] = -32768;
  startup.SetpointWords[1537] = 99;  // beyond the area: never written
  const auto lines = SetpointFileLines(startup);
  ASSERT_EQ(lines.size(), 1536u);
  EXPECT_EQ(lines[0], "1,0x0000,-5,");
  EXPECT_EQ(lines[1], "2,0x0002,32767,");
  EXPECT_EQ(lines[2], "3,0x0004,0,");
  EXPECT_EQ(lines[1535], "1536,0x0BFE,-32768,");

  const auto wide = SetpointFileLines(setpointTables(0x4059000, 0x405FFFC));
  ASSERT_EQ(wide.size(), 14336u);
  EXPECT_EQ(wide[0], "1,0x4059000,0,");
  EXPECT_EQ(wide.back(), "14336,0x405FFFE,0,");

  EXPECT_TRUE(SetpointFileLines(setpointTables(100, 97)).empty());  // end below start - 2
  EXPECT_EQ(SetpointFileLines(setpointTables(100, 98)).size(), 1u);
  EXPECT_EQ(SetpointFileLines(setpointTables(0, 3067)).size(), 1535u);  // the last half word is not written

  MemoryTables undersized = setpointTables(0, 3068);
  undersized.SetpointWords.resize(10, 7);
  const auto padded = SetpointFileLines(undersized);
  ASSERT_EQ(padded.size(), 1536u);
  EXPECT_EQ(padded[9], "10,0x0012,0,");  // entries the table does not hold read as 0
}

TEST(EventLogFile, RecordsWithPackedTimeStamps) {
  MemoryTables tables;
  tables.ranges = chooseMemoryRanges(6, "RX-Kelp");
  tables.EventLogWords.assign(memoryWordTableSize(tables.ranges.EventLogStart, tables.ranges.EventLogEnd), 0);
  auto setRecord = [&](int k, std::array<std::uint16_t, 8> w) {
    for (int n = 0; n < 8; ++n) tables.EventLogWords[8 * (k - 1) + n + 1] = static_cast<std::int16_t>(w[n]);
  };
  setRecord(1, {11, 22, 33, 44, 0x1705, 66, 0x0C0E, 0x2903});
  setRecord(2, {0xFFFF, 1, 2, 3, 0xFFFF, 0x8000, 0xFFFF, 0xFFFF});
  setRecord(64, {1, 2, 3, 4, 0x0000, 6, 0x0164, 0x0009});
  const auto lines = EventLogFileLines(tables);
  ASSERT_EQ(lines.size(), 64u);  // 64.125 records
  EXPECT_EQ(lines[0], "1,2014/03/12 23:05:41,22,11,44,33,66");
  EXPECT_EQ(lines[1], "2,2255/55/55 55:55:55,1,-1,3,2,-32768");
  EXPECT_EQ(lines[2], "3,2000/00/00 00:00:00,0,0,0,0,0");
  EXPECT_EQ(lines[63], "64,2100/09/01 00:00:00,2,1,4,3,6");
}

TEST(TroubleFiles, FixedLineCountsWithTimeTexts) {
  TroubleTables tables;
  tables.TroubleTime[0] = {"", "1999", "01", "01", "00", "00", "00"};  // row 0 is not written
  tables.TroubleTime[3] = {"", "2014", "03", "12", "08", "15", "02"};
  tables.TroubleValues[3] = {17, 2};
  tables.TroubleValues[31] = {-32768, -1};
  tables.EventCountTime[1] = {"", "2014", "03", "12", "08", "15", "02"};
  tables.EventCountValue[1] = 125;
  tables.EventCountValue[16] = 5;
  const auto trouble = TroubleRecordFileLines(tables);
  ASSERT_EQ(trouble.size(), 31u);
  EXPECT_EQ(trouble[0], "1,// ::,0,0");
  EXPECT_EQ(trouble[2], "3,2014/03/12 08:15:02,17,2");
  EXPECT_EQ(trouble[30], "31,// ::,-32768,-1");
  const auto counts = EventCountFileLines(tables);
  ASSERT_EQ(counts.size(), 15u);
  EXPECT_EQ(counts[0], "1,2014/03/12 08:15:02,125");
  EXPECT_EQ(counts[4], "5,// ::,0");
  EXPECT_EQ(counts[14], "15,// ::,0");
}

TEST(DriveStatusFile, FifteenNameValueLines) {
  DriveStatusTable table;
  EXPECT_EQ(DriveStatusFileLines(table, "", ProgramVersion{1, 4}),
            (std::vector<std::string>{"Quillon Ver, 1.4", "Drive Interface Ver, ", "Drive Time, // ::", "SSEQ_OUT1, ",
                                      "SSEQ_OUTuS, ", "PR_CODE00, 0", "PR_CODE01, 0", "PR_CODE02, 0", "PR_CODE03, 0",
                                      "PR_CODE04, 0", "PR_CODE05, 0", "PR_CODE06, 0", "PR_CODE07, 0", "PR_CODE08, 0",
                                      "PR_CODE09, 0"}));

  table.DriveStatusText = {"", "2014", "03", "12", "08", "15", "02", "1A05", "FF00", "00FF", "FF00", "8000", "FFFF",
                           "0000", "7FFF", "0001", "0010", "0100", "1000"};
  EXPECT_EQ(DriveStatusFileLines(table, "V6.02.1", ProgramVersion{2, 1}),
            (std::vector<std::string>{"Quillon Ver, 2.1", "Drive Interface Ver, V6.02.1",
                                      "Drive Time, 2014/03/12 08:15:02", "SSEQ_OUT1, 1A05", "SSEQ_OUTuS, FF00",
                                      "PR_CODE00, 255", "PR_CODE01, -256", "PR_CODE02, -32768", "PR_CODE03, -1",
                                      "PR_CODE04, 0", "PR_CODE05, 32767", "PR_CODE06, 1", "PR_CODE07, 16",
                                      "PR_CODE08, 256", "PR_CODE09, 4096"}));
}
