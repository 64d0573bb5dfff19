// The record tables copied from their CSV files into the workbook.
#include "quillon/convert/record_tables.h"

#include <gtest/gtest.h>

#include "tests/convert/convert_fixture.h"

using namespace quillon;
using namespace quillon_test;
using db_test::queryText;

namespace {

struct Tables {
  Folder folder;
  DatabaseState databases;
  std::filesystem::path workbook = folder.save / "work.mdb";

  Tables() {
    std::filesystem::copy_file(kTemplates / "SET_TMP.mdb", workbook);
    databases.openDriveDb(folder.driveDb);
    platform::db::OpenDbConnection(databases.workDb, workbook);
  }
  platform::db::Connection& work() { return *databases.workDb; }
  std::string query(const std::string& sql) { return queryText(workbook, sql); }
};

}  // namespace

TEST(RecordTables, TroubleRecordsNameTheirFaultsAndOutgrowTheTemplate) {
  Tables t;
  std::string text;
  for (int r = 1; r <= 34; ++r) text += std::to_string(r) + ",2014/03/12 08:15:0" + std::to_string(r % 10) + ",3,12\r\n";
  text += "35,// ::, 3 ,-1\r\n";
  WriteTroubleRecordTable(t.work(), t.databases, t.folder.csvLines(text, "TroubleRecord_x.csv"));
  EXPECT_EQ(t.query("SELECT COUNT(*) FROM TroubleRecord"), "35");  // 32 template rows, 3 appended
  EXPECT_EQ(t.query("SELECT TimeS || '|' || FI1 || '|' || Fi2 || '|' || Fi1_Data || '|' || Fi2_Data "
                    "FROM TroubleRecord WHERE ID = 1"),
            "2014/03/12 08:15:01|3|12|OV|OH");
  EXPECT_EQ(t.query("SELECT TimeS || '|' || FI1 || '|' || Fi1_Data || '|' || Fi2_Data FROM TroubleRecord "
                    "ORDER BY rowid DESC LIMIT 1"),
            "// ::| 3 |OV|No Detect");
}

TEST(RecordTables, EventCountersGoThroughTheirFormulaSteps) {
  Tables t;
  const std::string text =
      "1,2014/03/12 08:15:02,125\r\n"
      "2,2014/03/13 09:00:00,1234\r\n"  // EVENT02 is a float counter
      "3,2014/03/14 10:00:00,77\r\n"    // formula types that are neither "*" nor "/"
      "4,2014/03/15 11:00:00,5\r\n";    // past the "Events" rows
  // 1234 as the bits of a float is tiny; the steps start from it: / 60 * 3 (the "/ 0" is left out).
  WriteEventCountTable(t.work(), t.databases, t.folder.csvLines(text, "EventCount_x.csv"), 6);
  EXPECT_EQ(t.query("SELECT TimeS || '|' || Event || '|' || TitleJP || '|' || TitleUS || '|' || Event_Data || "
                    "'|' || Unit FROM EventCount WHERE ID = 1"),
            "2014/03/12 08:15:02|125|運転回数|Run count|125.0|times");
  EXPECT_EQ(t.query("SELECT Event_Data || '|' || Unit FROM EventCount WHERE ID = 2"), "0.0|h");
  EXPECT_EQ(t.query("SELECT Event_Data || '|' || IFNULL(Unit, 'NULL') FROM EventCount WHERE ID = 3"), "77.0|NULL");
  EXPECT_EQ(t.query("SELECT Event_Data || '|' || IFNULL(TitleUS, 'NULL') FROM EventCount WHERE ID = 4"), "5.0|NULL");

  // Below level 6 the counters take no unit and no float form.
  Tables narrow;
  WriteEventCountTable(narrow.work(), narrow.databases,
                       narrow.folder.csvLines("1,t,125\r\n2,t,1234\r\n", "EventCount_x.csv"), 5);
  EXPECT_EQ(narrow.query("SELECT IFNULL(Unit, 'NULL') FROM EventCount WHERE ID = 1"), "NULL");
  EXPECT_EQ(narrow.query("SELECT Event_Data FROM EventCount WHERE ID = 2"), "61.7");  // 1234 / 60 * 3

  EXPECT_DOUBLE_EQ(ApplyFormulaSteps(10, {{{"*", "2.5"}, {"/", "4"}, {"-", "100"}}}), 6.25);
  EXPECT_DOUBLE_EQ(ApplyFormulaSteps(10, {{{"/", "0"}, {"*", "abc"}, {"", ""}}}), 10);
  EXPECT_DOUBLE_EQ(RoundToDecimals(2.345, 2), 2.35);
  EXPECT_DOUBLE_EQ(RoundToDecimals(-2.5, 0), -3);

  Tables damaged;
  EXPECT_THROW(WriteEventCountTable(damaged.work(), damaged.databases,
                                    damaged.folder.csvLines("1,t,many\r\n", "EventCount_x.csv"), 6),
               std::exception);
}

TEST(RecordTables, DriveStatusSplitsTheSequenceWordIntoBits) {
  Tables t;
  const std::string text =
      "Quillon Ver, 2.1\r\nDrive Time, 2014/03/12 08:15:02\r\nSSEQ_OUT1, 8003\r\nSSEQ_OUTuS, 00FF\r\n"
      "PR_CODE00, 12\r\nPR_CODE01, 0\r\n";
  WriteDriveStatusTable(t.work(), t.databases, t.folder.csvLines(text, "DriveSts_x.csv"),
                        ProgramVersion{2, 1});
  // Both program versions, the drive time, the sequence word's 16 bits, the other word, the codes.
  EXPECT_EQ(t.query("SELECT group_concat(Item || '=' || Data, ';') FROM (SELECT * FROM DriveSts ORDER BY rowid)"),
            "Veltrane Ver=2.1;Quillon Ver= 2.1;Drive Time= 2014/03/12 08:15:02;"
            "RUN=1;FWD=1;=0;=0;=0;=0;=0;=0;=0;=0;=0;=0;=0;=0;=0;RDY.OK=1;"
            "SSEQ_OUTuS= 00FF;PR_CODE00=OH;PR_CODE01=No Data");
}

TEST(RecordTables, EventLogColumnsComeFromTheStatusWordsBits) {
  Tables t;
  EXPECT_EQ(BitFieldColumnNames(*t.databases.driveDb, "DI_DATA1"),
            (std::vector<std::string>{"DI16_B15_DI_DATA1", "_B14_DI_DATA1", "_B13_DI_DATA1", "_B12_DI_DATA1",
                                      "_B11_DI_DATA1", "_B10_DI_DATA1", "_B9_DI_DATA1", "_B8_DI_DATA1",
                                      "_B7_DI_DATA1", "_B6_DI_DATA1", "_B5_DI_DATA1", "_B4_DI_DATA1",
                                      "_B3_DI_DATA1", "_B2_DI_DATA1", "DI2_B1_DI_DATA1", "DI1_B0_DI_DATA1"}));
  // A word "MainBIT" does not know still gets its 16 columns.
  const auto absent = BitFieldColumnNames(*t.databases.driveDb, "DI_DATA5");
  ASSERT_EQ(absent.size(), 16u);
  EXPECT_EQ(absent.front(), "NU_B15_DI_DATA5");
  EXPECT_EQ(absent.back(), "NU_B0_DI_DATA5");

  // w1..w5 are fields 2..6: bit b of word w goes to column 16 w - b + 1.
  const std::string text = "1,2014/03/12 23:05:41,1,-32768,0,3,-1\r\n2,2000/00/00 00:00:00,0,0,0,0,0\r\n";
  WriteEventLogTable(t.work(), t.databases, t.folder.csvLines(text, "Evtlg_x.csv"));
  EXPECT_EQ(t.query("SELECT COUNT(*) FROM pragma_table_info('Eventlog')"), "82");
  // The table's text is the one that adding the bit columns one by one to "CREATE TABLE
  // Eventlog(ID Short, TimeS TEXT(30))" leaves, which is what other readers of the workbook see.
  const std::string definition = t.query("SELECT sql FROM sqlite_master WHERE name = 'Eventlog'");
  std::string alterations = "BEGIN; CREATE TABLE Eventlog(ID Short, TimeS TEXT(30));";
  for (const char* word : kEventLogWords)
    for (const std::string& name : BitFieldColumnNames(*t.databases.driveDb, word))
      alterations += "ALTER TABLE Eventlog ADD COLUMN \"" + name + "\" Short;";
  const auto oneByOne = t.folder.save / "one_by_one.db";
  db_test::makeSqliteFile(oneByOne, alterations + "COMMIT;");
  EXPECT_EQ(definition, queryText(oneByOne, "SELECT sql FROM sqlite_master WHERE name = 'Eventlog'"));
  EXPECT_TRUE(definition.ends_with(", \"ALM_B0_SSEQ_OUT3\" Short)")) << definition;
  EXPECT_EQ(t.query("SELECT group_concat(name, ';') FROM pragma_table_info('Eventlog') WHERE cid IN (2, 50, 65)"),
            "DI16_B15_DI_DATA1;RDYOK_B15_SSEQ_OUT1;RUN _B0_SSEQ_OUT1");
  EXPECT_EQ(t.query("SELECT ID || '|' || TimeS || '|' || DI1_B0_DI_DATA1 || DI2_B1_DI_DATA1 || NU_B15_DI_DATA5 || "
                    "NU_B0_DI_DATA5 || Y1_B0_DI_DATA6 || RDYOK_B15_SSEQ_OUT1 || ALM_B0_SSEQ_OUT3 FROM Eventlog "
                    "WHERE ID = 1"),
            "1|2014/03/12 23:05:41|1010001");
  EXPECT_EQ(t.query("SELECT SUM(DI1_B0_DI_DATA1 + ALM_B0_SSEQ_OUT3) FROM Eventlog WHERE ID = 2"), "0");
}

TEST(RecordTables, OtherBanksOnlyWhenGiven) {
  std::vector<int> asked;
  OtherBanks other;
  other.BankCount = 3;
  other.readBankFaults = [&asked](int bank) {
    asked.push_back(bank);
    OtherBankFaults faults;
    faults.time = {"", "2014", "03", "12", "08", "15", "0" + std::to_string(bank)};
    faults.code1 = bank == 1 ? "3" : "-1";
    faults.code2 = "77";
    return faults;
  };
  {
    Tables t;
    WriteRecordTables(t.work(), t.databases, t.folder.save, 6, ProgramVersion{2, 1}, std::nullopt, platform::shell::CodePage());
    EXPECT_EQ(t.query("SELECT COUNT(*) FROM sqlite_master WHERE name = 'OtherTRB'"), "0");
    // No CSV file: no block ran, and the tables the conversion creates are not there either.
    EXPECT_EQ(t.query("SELECT COUNT(*) FROM sqlite_master WHERE name IN ('DriveSts', 'Eventlog')"), "0");
    EXPECT_EQ(t.query("SELECT COUNT(*) FROM TroubleRecord WHERE TimeS IS NOT NULL"), "0");
  }
  EXPECT_TRUE(asked.empty());
  Tables t;
  WriteRecordTables(t.work(), t.databases, t.folder.save, 6, ProgramVersion{2, 1}, other, platform::shell::CodePage());
  EXPECT_EQ(asked, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(t.query("SELECT group_concat(Bank || '|' || TimeS || '|' || FI1 || '|' || FI2, ';') FROM OtherTRB"),
            "0|2014/03/12  08:15:00|No Detect|No Data;1|2014/03/12  08:15:01|OV|No Data;"
            "2|2014/03/12  08:15:02|No Detect|No Data");
}
