// A save read from every form it takes gives the same banks; damaged files end with a
// message that names them, never with a crash or a half-read model.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>

#include "quillon/view/save_reader.h"
#include "tests/view/view_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace quillon::view;
using namespace view_test;

// The bank as both forms must give it, apart from what only a drive database adds.
void ExpectTheBank(const Bank& bank, const std::string& form) {
  SCOPED_TRACE(form);
  EXPECT_EQ(bank.faultTime, kFaultTime);
  ASSERT_EQ(bank.groups.size(), 3u);
  const int depths[] = {128, 64, 64}, faults[] = {40, 20, 10}, upTo[] = {2, 3, 3};
  for (int g = 0; g < 3; ++g) {
    EXPECT_EQ(bank.groups[g].number, g + 1);
    EXPECT_EQ(bank.groups[g].depth, depths[g]);
    EXPECT_EQ(bank.groups[g].faultSample, faults[g]);
    EXPECT_EQ(bank.groups[g].signalsUpTo, upTo[g]);
    EXPECT_EQ(bank.groups[g].sampling, 1001 * (g + 1));
  }
  ASSERT_EQ(bank.faults.size(), 2u);
  EXPECT_EQ(bank.faults[0].code, "1");
  EXPECT_EQ(bank.faults[0].detectedSample, 10);
  EXPECT_EQ(bank.faults[1].code, "3");
  EXPECT_EQ(bank.faults[1].detectedSample, 20);

  ASSERT_EQ(bank.signals.size(), static_cast<std::size_t>(kSignals));
  ASSERT_EQ(bank.rows, static_cast<std::size_t>(kRows));
  const int groups[] = {1, 1, 2, 0};
  const std::size_t signalDepths[] = {128, 128, 64, 128};
  for (int i = 0; i < kSignals; ++i) {
    const Signal& signal = bank.signals[static_cast<std::size_t>(i)];
    EXPECT_EQ(signal.group, groups[i]) << i;
    EXPECT_EQ(bank.depthOf(signal), signalDepths[i]) << i;
    for (int s = 1; s <= kRows; ++s)
      ASSERT_EQ(bank.signalSamples(static_cast<std::size_t>(i))[s - 1], SampleOf(i + 1, s)) << i << " " << s;
  }
  EXPECT_EQ(bank.faultSampleOf(bank.signals[0]), 40u);
  EXPECT_EQ(bank.faultSampleOf(bank.signals[2]), 20u);
  EXPECT_FALSE(bank.faultSampleOf(bank.signals[3])) << "group not recorded";
  EXPECT_EQ(bank.signals[2].symbol, kUnknownAddress);
  EXPECT_EQ(bank.signals[2].longName, kUnknownAddress) << "the address where the database had no name";
}

void ExpectTheDrive(const DriveInfo& drive) {
  EXPECT_EQ(drive.driveType, "RX-Fenn");
  EXPECT_EQ(drive.panelName, kPanelName);
  EXPECT_EQ(drive.orderNumber, kOrderNumber);
  EXPECT_EQ(drive.inverterRating, "400.0V - 52.0A - 36.0KVA");
  EXPECT_EQ(drive.motorRating, "18.5kW - 4P - 380V - 35.5A - 50.0Hz - 1470min-1");
  const auto rows = DriveInfoRows(drive);
  auto textOf = [&rows](const std::string& label) {
    for (const auto& row : rows)
      if (row.label == label) return row.text;
    return std::string("<missing>");
  };
  EXPECT_EQ(textOf("Inverter current"), "52.0A");
  EXPECT_EQ(textOf("Motor speed"), "1470min-1");
}

TEST(SaveReader, WorkbookAndCsvSetOfOneBankReadAlike) {
  Scratch scratch;
  const fs::path app = scratch.path() / "app";
  WriteWorkbook(app);
  WriteCsvSet(app);
  const SaveModel model = ReadSave(app / "TRBSAVE", platform::shell::CodePage());
  ASSERT_EQ(model.banks.size(), 2u);

  const Bank& csv = model.banks[0];  // its number is saved, so it comes first
  EXPECT_EQ(csv.number, kBank);
  EXPECT_TRUE(csv.rawSamples);
  EXPECT_EQ(csv.softVersion, "SIM09.99");
  ExpectTheBank(csv, "CSV set");
  for (const Signal& signal : csv.signals) {
    EXPECT_EQ(signal.symbol, signal.address);
    EXPECT_FALSE(signal.pctValue);
  }

  const Bank& book = model.banks[1];
  EXPECT_FALSE(book.number);
  EXPECT_EQ(book.title(), std::string("Fault of ") + kFaultTime);
  EXPECT_EQ(book.softVersion, "SIM01.00");
  ExpectTheBank(book, "workbook");
  EXPECT_EQ(book.signals[0].symbol, "SPD_REF");
  EXPECT_EQ(book.signals[0].longName, "Speed reference");
  EXPECT_EQ(book.signals[0].unit, "min-1");
  EXPECT_EQ(book.signals[0].pctValue, 16384);
  EXPECT_EQ(book.signals[2].pctValue, 100) << "what the workbook holds for an unknown address";
  EXPECT_EQ(book.signals[2].unit, "");
  EXPECT_EQ(book.faults[0].name, "OC");
  EXPECT_EQ(book.faults[0].explanation, "Overcurrent");

  ExpectTheDrive(model.drive);
}

TEST(SaveReader, ArchiveWorkbookAndCsvSetFolderGiveTheSameBanks) {
  Scratch scratch;
  const fs::path app = scratch.path() / "app";
  const fs::path workbook = WriteWorkbook(app);
  const fs::path csvFolder = WriteCsvSet(app);
  const fs::path archive = scratch.path() / "TRBSAVE_20261207_101500.lzh";
  ASSERT_TRUE(Pack(app / "TRBSAVE", archive));

  // Extraction goes below TMPDIR: it must be empty again afterwards, also after a failure.
  const fs::path temp = scratch.path() / "tmp";
  fs::create_directories(temp);
  const char* before = std::getenv("TMPDIR");
  const std::string saved = before ? before : "";
  ::setenv("TMPDIR", temp.c_str(), 1);
  const SaveModel fromArchive = ReadSave(archive, platform::shell::CodePage());
  EXPECT_TRUE(fs::is_empty(temp)) << "the extracted files are removed";
  const fs::path flipped = scratch.path() / "flipped.lzh";
  fs::copy_file(archive, flipped);
  std::string bytes = ReadText(flipped);
  bytes[bytes.size() * 2 / 3] ^= 0x5A;  // inside a member: its check sum no longer matches
  WriteText(flipped, bytes);
  EXPECT_THROW(ReadSave(flipped, platform::shell::CodePage()), SaveError);
  EXPECT_TRUE(fs::is_empty(temp)) << "also when a member is damaged";
  fs::resize_file(archive, fs::file_size(archive) / 2);
  EXPECT_THROW(ReadSave(archive, platform::shell::CodePage()), SaveError);
  EXPECT_TRUE(fs::is_empty(temp)) << "also when the archive is cut short";
  if (before) ::setenv("TMPDIR", saved.c_str(), 1);
  else ::unsetenv("TMPDIR");

  ASSERT_EQ(fromArchive.banks.size(), 2u);
  EXPECT_EQ(fromArchive.name, archive.filename().string());
  ExpectTheBank(fromArchive.banks[0], "CSV set from the archive");
  ExpectTheBank(fromArchive.banks[1], "workbook from the archive");
  ExpectTheDrive(fromArchive.drive);

  const SaveModel oneWorkbook = ReadSave(workbook, platform::shell::CodePage());
  ASSERT_EQ(oneWorkbook.banks.size(), 1u);
  ExpectTheBank(oneWorkbook.banks[0], "one workbook");
  EXPECT_EQ(oneWorkbook.banks[0].signals[0].symbol, "SPD_REF");
  ExpectTheDrive(oneWorkbook.drive);

  const SaveModel oneSet = ReadSave(csvFolder, platform::shell::CodePage());
  ASSERT_EQ(oneSet.banks.size(), 1u);
  ExpectTheBank(oneSet.banks[0], "one CSV set folder");
  ExpectTheDrive(oneSet.drive);
}

// The message of the SaveError that reading `path` ends with.
std::string FailureOf(const fs::path& path) {
  try {
    ReadSave(path, platform::shell::CodePage());
  } catch (const SaveError& error) {
    return error.what();
  }
  return "<read without complaint>";
}

void Sql(const fs::path& file, const std::string& sql) {
  fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

TEST(SaveReader, DamagedWorkbookEndsWithAMessageNamingIt) {
  Scratch scratch;
  const fs::path workbook = WriteWorkbook(scratch.path() / "app");
  const auto size = fs::file_size(workbook);
  int n = 0;
  for (auto cut : {std::uintmax_t{0}, std::uintmax_t{100}, std::uintmax_t{4096}, size / 2, size * 3 / 4}) {
    const fs::path cutFile = scratch.path() / ("TRBcut" + std::to_string(n++) + ".mdb");
    fs::copy_file(workbook, cutFile);
    fs::permissions(cutFile, fs::perms::owner_write, fs::perm_options::add);
    fs::resize_file(cutFile, cut);
    EXPECT_NE(FailureOf(cutFile).find(cutFile.filename().string()), std::string::npos) << cut << ": " << FailureOf(cutFile);
  }

  const fs::path noWords = scratch.path() / "TRBnowords.mdb";
  fs::copy_file(workbook, noWords);
  Sql(noWords, "DROP TABLE Word");
  EXPECT_NE(FailureOf(noWords).find("no table \"Word\""), std::string::npos) << FailureOf(noWords);

  const fs::path textSample = scratch.path() / "TRBtext.mdb";
  fs::copy_file(workbook, textSample);
  Sql(textSample, "UPDATE Data SET Data2 = 'abc' WHERE rowid = 5");
  EXPECT_NE(FailureOf(textSample).find("sample 5 of \"Data2\""), std::string::npos) << FailureOf(textSample);

  const fs::path badLayout = scratch.path() / "TRBlayout.mdb";
  fs::copy_file(workbook, badLayout);
  Sql(badLayout, "UPDATE SampleParameters SET Block_Max = 99999 WHERE rowid = 2");
  EXPECT_NE(FailureOf(badLayout).find("group 2"), std::string::npos) << FailureOf(badLayout);
}

// Line `line` (1-based) of a file with CR LF lines, changed by `edit`.
void EditLine(const fs::path& file, int line, const std::function<void(std::string&)>& edit) {
  std::string text = ReadText(file);
  std::size_t start = 0;
  for (int n = 1; n < line; ++n) start = text.find("\r\n", start) + 2;
  const std::size_t end = text.find("\r\n", start);
  std::string content = text.substr(start, end - start);
  edit(content);
  WriteText(file, text.replace(start, end - start, content));
}

TEST(SaveReader, DamagedCsvSetEndsWithAMessageNamingTheLine) {
  Scratch scratch;
  const fs::path original = WriteCsvSet(scratch.path() / "app");
  const std::string data = "Trb" + std::to_string(kBank) + "_Data.csv";
  auto copy = [&](const std::string& name) {
    const fs::path folder = scratch.path() / name;
    fs::copy(original, folder);
    return folder;
  };

  const fs::path shortLine = copy("short");
  EditLine(shortLine / data, 17, [](std::string& l) { l.erase(l.rfind(',')); });
  EXPECT_EQ(FailureOf(shortLine), data + ": line 17 has 3 samples, 4 expected (one per signal).");

  const fs::path longLine = copy("long");
  EditLine(longLine / data, 5, [](std::string& l) { l += ",7"; });
  EXPECT_NE(FailureOf(longLine).find("line 5 has 5 samples"), std::string::npos) << FailureOf(longLine);

  const fs::path notANumber = copy("nan");
  EditLine(notANumber / data, 9, [](std::string& l) { l.replace(l.find(','), 1, ",x"); });
  EXPECT_NE(FailureOf(notANumber).find("line 9 holds \"x"), std::string::npos) << FailureOf(notANumber);

  const fs::path skipped = copy("skipped");
  EditLine(skipped / data, 3, [](std::string& l) { l[0] = '4'; });
  EXPECT_NE(FailureOf(skipped).find("line 3 is numbered 4"), std::string::npos) << FailureOf(skipped);

  const fs::path noWords = copy("nowords");
  fs::remove(noWords / ("Trb" + std::to_string(kBank) + "_Word.csv"));
  EXPECT_NE(FailureOf(noWords).find("has no file Trb3_Word.csv"), std::string::npos) << FailureOf(noWords);

  const fs::path badGroups = copy("groups");
  EditLine(badGroups / "Trb3_SampleParameters.csv", 2, [](std::string& l) { l = "2,64"; });
  EXPECT_NE(FailureOf(badGroups).find("Trb3_SampleParameters.csv: line 2 has 2 fields"), std::string::npos)
      << FailureOf(badGroups);

  EXPECT_NE(FailureOf(scratch.path() / "nothing-here").find("no such file"), std::string::npos);
  fs::create_directories(scratch.path() / "empty");
  EXPECT_NE(FailureOf(scratch.path() / "empty").find("no save found"), std::string::npos);
  WriteText(scratch.path() / "notes.txt", "x");
  EXPECT_NE(FailureOf(scratch.path() / "notes.txt").find("not a save archive"), std::string::npos);
}

TEST(SaveReader, RecordFilesAndSettingWorkbookBecomeTables) {
  Scratch scratch;
  const fs::path folder = scratch.path() / "TRBSAVE_20261207_101500";
  WriteText(folder / "TroubleRecord_P.csv", "1,2014/03/12 08:15:02,17,2\r\n2,// ::,0,0\r\n");
  WriteText(folder / "EventCount_P.csv", "1,2014/03/12 08:15:02,125\r\n");
  WriteText(folder / "DriveSts_P.csv", "Quillon Ver, 2.1\r\nDrive Interface Ver, V06.002\r\nDrive Time, 2023/05/21 13:29:26\r\n");
  WriteText(folder / "Evtlg_P.csv", "1,2014/03/12 23:05:41,1,-2,3,4,5\r\n");
  WriteText(folder / "Set_Sram_P.csv", "1,0x0000,100,\r\n2,0x0002,0,\r\n");
  SaveModel model = ReadSave(folder, platform::shell::CodePage());
  EXPECT_TRUE(model.banks.empty());
  EXPECT_EQ(model.drive.interfaceVersion, "V06.002");
  EXPECT_EQ(model.drive.driveTime, "2023/05/21 13:29:26");
  const RecordTable* trouble = model.table(TableKind::TroubleRecords);
  ASSERT_TRUE(trouble);
  ASSERT_EQ(trouble->rows.size(), 2u);
  EXPECT_EQ(trouble->rows[0], (std::vector<std::string>{"1", "2014/03/12 08:15:02", "17", "2"}));
  const RecordTable* log = model.table(TableKind::EventLog);
  ASSERT_TRUE(log);
  EXPECT_EQ(log->columns[2], "DI_DATA1");
  EXPECT_EQ(log->rows[0][3], "-2");
  const RecordTable* settings = model.table(TableKind::SettingParameters);
  ASSERT_TRUE(settings);
  EXPECT_EQ(settings->rows[1], (std::vector<std::string>{"2", "0x0002", "0"}));

  // The setting-parameter workbook's tables come before the files; template rows the
  // conversion never filled are left out.
  const fs::path workbook = folder / "Set_Sram_P_20261207_101500.mdb";
  fs::copy_file(fs::path(QUILLON_BINARY_DIR) / "templates" / "SET_TMP.mdb", workbook);
  Sql(workbook,
      "UPDATE Memo SET Memo = 'RX-Test' WHERE Title = 'DriveType';"
      "UPDATE Memo SET Memo = 'JOB-7' WHERE Title = 'Custmer';"
      "UPDATE TroubleRecord SET TimeS = '2015/01/01 00:00:00', FI1 = '1', Fi2 = '3', Fi1_Data = 'OC' WHERE ID = 1;"
      "INSERT INTO DataSet (ID, symbol, Data, Unit) VALUES (1, 'ACC_TIME1', ' 100', '(D)');");
  model = ReadSave(folder, platform::shell::CodePage());
  EXPECT_EQ(model.drive.driveType, "RX-Test");
  EXPECT_EQ(model.drive.customer, "JOB-7");
  trouble = model.table(TableKind::TroubleRecords);
  ASSERT_TRUE(trouble);
  EXPECT_EQ(trouble->source, workbook.filename().string());
  ASSERT_EQ(trouble->rows.size(), 1u) << "31 empty template rows left out";
  EXPECT_EQ(trouble->rows[0][4], "OC");
  settings = model.table(TableKind::SettingParameters);
  ASSERT_TRUE(settings);
  EXPECT_EQ(settings->columns, (std::vector<std::string>{"ID", "symbol", "Data", "Unit"}));
  EXPECT_EQ(model.table(TableKind::EventLog)->source, "Evtlg_P.csv") << "the workbook has none: the file's";

  WriteText(folder / "EventCount_P.csv", "1,2014/03/12 08:15:02\r\n");
  fs::remove(workbook);
  EXPECT_NE(FailureOf(folder).find("EventCount_P.csv: line 1 has 2 fields, at least 3 expected"), std::string::npos)
      << FailureOf(folder);
}

}  // namespace
