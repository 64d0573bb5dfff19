// The whole conversion step over a working folder: when it runs, what it leaves, and that a
// failure keeps every CSV file.
#include "quillon/convert/convert_save_folder.h"

#include <gtest/gtest.h>

#include "quillon/convert/utf16_text.h"
#include "tests/convert/convert_fixture.h"

using namespace quillon;
using namespace quillon_test;
using db_test::queryText;

namespace {

const char* kWorkbookName = "Set_Sram_PNL-7_20140312_080509.mdb";

std::vector<std::string> namesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void writeRunFiles(const Folder& folder) {
  writeFile(folder.save / "Set_Sram_PNL-7.csv", setpointCsv(wideImage()));
  writeFile(folder.save / "TroubleRecord_PNL-7.csv", "1,2014/03/12 08:15:02,3,12\r\n2,// ::,0,0\r\n");
  writeFile(folder.save / "EventCount_PNL-7.csv", "1,2014/03/12 08:15:02,125\r\n");
  writeFile(folder.save / "DriveSts_PNL-7.csv", "Quillon Ver, 2.1\r\nSSEQ_OUT1, 0001\r\nPR_CODE00, 3\r\n");
  writeFile(folder.save / "Evtlg_PNL-7.csv", "1,2014/03/12 23:05:41,1,0,0,0,0\r\n");
  writeFile(folder.app / "V1.2_RX-T.pdn",
            Utf8ToUtf16LeWithMark("<signal name=\"P_DEC\" group=\"Parameter\" defaultValue=\"9\"/>\r\n"
                                  "<signal name=\"LINE_NAME\" displayType=\"String\" group=\"Parameter\"/>\r\n"));
}

struct Step {
  DatabaseState databases;
  ExchangeState exchange;
  std::string labelDummy;
  ConvertOutcome run(const Folder::Run& run) {
    return ConvertSaveFolder(run.drive, run.job, databases, exchange, labelDummy);
  }
};

const std::vector<std::string> kRunFiles{"DriveSts_PNL-7.csv", "EventCount_PNL-7.csv", "Evtlg_PNL-7.csv",
                                         "Set_Sram_PNL-7.csv", "TroubleRecord_PNL-7.csv"};

}  // namespace

TEST(ConvertSaveFolder, WritesWorkbookAndConfigurationThenDeletesTheCsvFiles) {
  Folder folder;
  writeRunFiles(folder);
  // A read-only workbook of the same name from an earlier run is replaced.
  writeFile(folder.save / kWorkbookName, "old");
  std::filesystem::permissions(folder.save / kWorkbookName, std::filesystem::perms::owner_read);

  Step step;
  Folder::Run run = folder.run();
  run.job.otherBanks =
      OtherBanks{2, [](int) { return OtherBankFaults{{"", "2014", "03", "12", "08", "15", "02"}, "3", "-1"}; }};
  ASSERT_EQ(step.run(run), ConvertOutcome::Converted) << step.exchange.ErrorText;
  EXPECT_FALSE(step.exchange.AbortFlag);
  EXPECT_EQ(namesIn(folder.save), (std::vector<std::string>{"Set_Sram_PNL-7_20140312_080509.drc", kWorkbookName}));
  EXPECT_EQ(SetpointWorkbookName("Set_Sram_Line 3.csv", localTime(2026, 12, 7, 23, 0, 59)),
            "Set_Sram_Line 3_20261207_230059.mdb");

  const auto workbook = folder.save / kWorkbookName;
  EXPECT_EQ(std::filesystem::status(workbook).permissions() & std::filesystem::perms::owner_write,
            std::filesystem::perms::none);
  EXPECT_EQ(queryText(workbook, "SELECT COUNT(*) FROM DataSet"), "14");
  EXPECT_EQ(queryText(workbook, "SELECT ID || symbol || Data || Unit FROM DataSet ORDER BY ID DESC LIMIT 1"),
            "14SETEND00000000(H)");
  EXPECT_EQ(queryText(workbook, "SELECT Memo FROM Memo WHERE Title = 'Custmer'"), "ABCD");
  EXPECT_EQ(queryText(workbook, "SELECT Memo FROM Memo WHERE Title = 'FileFor'"), "SetPoint");
  EXPECT_EQ(queryText(workbook, "SELECT COUNT(*) FROM CharSet"), "5");
  EXPECT_EQ(queryText(workbook, "SELECT Fi1_Data FROM TroubleRecord WHERE ID = 1"), "OV");
  EXPECT_EQ(queryText(workbook, "SELECT Unit FROM EventCount WHERE ID = 1"), "times");
  EXPECT_EQ(queryText(workbook, "SELECT Data FROM DriveSts WHERE Item = 'RUN'"), "1");
  EXPECT_EQ(queryText(workbook, "SELECT DI1_B0_DI_DATA1 FROM Eventlog"), "1");
  EXPECT_EQ(queryText(workbook, "SELECT group_concat(FI1, ',') FROM OtherTRB"), "OV,OV");
  EXPECT_EQ(step.labelDummy, "ABCD");
  EXPECT_FALSE(step.databases.driveDb);
  EXPECT_FALSE(step.databases.workDb);

  const std::string document = readFile(folder.save / "Set_Sram_PNL-7_20140312_080509.drc");
  ASSERT_GE(document.size(), 2u);
  EXPECT_EQ(document.substr(0, 2), "\xFF\xFE");
  const std::string text = Utf16BytesToUtf8(document);
  EXPECT_TRUE(text.starts_with("<?xml version=\"1.0\" encoding=\"utf-16\"?><driveConfiguration><driveConfig "
                               "name=\"PNL-7\" eeprombank=\"A\" producttype=\"RX-T\" firmwareversion=\"V1.2\""));
  EXPECT_NE(text.find("ipaddress=\"127.0.0.1\""), std::string::npos);
  // P_DEC came from the image (-5); LINE_NAME was completed from the definition.
  EXPECT_NE(text.find("<signal value=\"65531\" id=\"P_DEC\"/>"), std::string::npos);
  EXPECT_EQ(text.find("<signal value=\"0\" id=\"P_DEC\"/>"), std::string::npos);
  EXPECT_TRUE(text.ends_with("<signal value=\"\" id=\"LINE_NAME\"/></signals><changeHistory></changeHistory>"
                             "</driveConfig></driveConfiguration>"));
}

TEST(ConvertSaveFolder, SkipsWithoutDriveDatabaseOrSettingFileAndKeepsTheFiles) {
  Folder folder;
  writeRunFiles(folder);
  Step step;
  Folder::Run run = folder.run();
  run.drive.DriveSoftVersion = "OTHER";
  EXPECT_EQ(step.run(run), ConvertOutcome::Skipped);
  EXPECT_EQ(namesIn(folder.save), kRunFiles);

  std::filesystem::remove(folder.save / "Set_Sram_PNL-7.csv");
  EXPECT_EQ(step.run(folder.run()), ConvertOutcome::Skipped);
  EXPECT_EQ(namesIn(folder.save).size(), kRunFiles.size() - 1);
  EXPECT_FALSE(step.exchange.AbortFlag);
  EXPECT_TRUE(step.exchange.ErrorText.empty());

  // Without a product definition the workbook is still written, and no document.
  writeRunFiles(folder);
  std::filesystem::remove(folder.app / "V1.2_RX-T.pdn");
  EXPECT_EQ(step.run(folder.run()), ConvertOutcome::Converted);
  EXPECT_EQ(namesIn(folder.save), (std::vector<std::string>{kWorkbookName}));
}

TEST(ConvertSaveFolder, FailureKeepsEveryCsvFileAndSaysWhy) {
  struct Case {
    const char* what;
    std::function<void(Folder&, Folder::Run&)> damage;
    const char* message;
  };
  const std::vector<Case> cases{
      {"damaged setting file",
       [](Folder& f, Folder::Run&) { writeFile(f.save / "Set_Sram_PNL-7.csv", "1,0x24059000,5,\r\n2,zz\r\n"); },
       "Line 2 of the setting-parameter file"},
      {"drive database without Events",
       [](Folder& f, Folder::Run&) {
         db_test::makeSqliteFile(f.driveDb, "DROP TABLE Events;");
       },
       "Events"},
      {"missing template", [](Folder& f, Folder::Run& r) { r.job.folders.programFolder = f.scratch.file("none"); },
       "SET_TMP.mdb"},
      {"damaged drive database", [](Folder& f, Folder::Run&) { writeFile(f.driveDb, std::string(4096, 'x')); },
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Folder folder;
    writeRunFiles(folder);
    Folder::Run run = folder.run();
    c.damage(folder, run);
    Step step;
    EXPECT_EQ(step.run(run), ConvertOutcome::Failed);
    EXPECT_TRUE(step.exchange.AbortFlag);
    EXPECT_NE(step.exchange.ErrorText.find("CSV files are kept"), std::string::npos) << step.exchange.ErrorText;
    EXPECT_NE(step.exchange.ErrorText.find(c.message), std::string::npos) << step.exchange.ErrorText;
    EXPECT_EQ(namesIn(folder.save), kRunFiles);  // no workbook, no document, no partial file
    EXPECT_FALSE(step.databases.driveDb);
    EXPECT_FALSE(step.databases.workDb);
  }
}
