// A save read from every form it takes gives the same banks; damaged files end with a
// message that names them, never with a crash or a half-read model.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>

#include "drivesim/lzh_store.h"
#include "quillon/view/save_reader.h"
#include "tests/view/view_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace quillon::view;
using namespace view_test;

// The bank as its form must give it: the CSV set with the raw samples and addresses, the
// workbook with what the drive database adds.
void ExpectTheBank(const Bank& bank) {
  EXPECT_EQ(bank.faultTime, kFaultTime);
  std::string groups;  // number: depth, fault sample, signals up to it, sampling
  for (const SampleGroup& g : bank.groups)
    groups += std::to_string(g.number) + ": " + std::to_string(g.depth) + "," + std::to_string(g.faultSample) + "," +
              std::to_string(g.signalsUpTo) + "," + std::to_string(g.sampling) + "; ";
  EXPECT_EQ(groups, "1: 128,40,2,1001; 2: 64,20,3,2002; 3: 64,10,3,3003; ");
  ASSERT_EQ(bank.faults.size(), 2u);
  EXPECT_TRUE(bank.faults[0].code == "1" && bank.faults[0].detectedSample == 10);
  EXPECT_TRUE(bank.faults[1].code == "3" && bank.faults[1].detectedSample == 20);

  ASSERT_EQ(bank.signals.size(), static_cast<std::size_t>(kSignals));
  ASSERT_EQ(bank.rows, static_cast<std::size_t>(kRows));
  const int groupOf[] = {1, 1, 2, 0};
  const std::size_t signalDepths[] = {128, 128, 64, 128};
  for (int i = 0; i < kSignals; ++i) {
    const Signal& signal = bank.signals[static_cast<std::size_t>(i)];
    EXPECT_EQ(signal.group, groupOf[i]) << i;
    EXPECT_EQ(bank.depthOf(signal), signalDepths[i]) << i;
    for (int s = 1; s <= kRows; ++s)
      ASSERT_EQ(bank.signalSamples(static_cast<std::size_t>(i))[s - 1], SampleOf(i + 1, s)) << i << " " << s;
  }
  EXPECT_EQ(bank.faultSampleOf(bank.signals[0]), 40u);
  EXPECT_EQ(bank.faultSampleOf(bank.signals[2]), 20u);
  EXPECT_FALSE(bank.faultSampleOf(bank.signals[3])) << "group not recorded";
  EXPECT_EQ(bank.signals[2].symbol, kUnknownAddress);
  EXPECT_EQ(bank.signals[2].longName, kUnknownAddress) << "the address where the database had no name";

  if (bank.rawSamples) {
    EXPECT_EQ(bank.number, kBank);
    EXPECT_EQ(bank.softVersion, "SIM09.99");
    for (const Signal& signal : bank.signals) {
      EXPECT_EQ(signal.symbol, signal.address);
      EXPECT_FALSE(signal.pctValue);
    }
    return;
  }
  EXPECT_FALSE(bank.number);
  EXPECT_EQ(bank.title(), std::string("Fault of ") + kFaultTime);
  EXPECT_EQ(bank.softVersion, "SIM01.00");
  const Signal &known = bank.signals[0], &unknown = bank.signals[2];
  EXPECT_EQ(known.symbol + "|" + known.longName + "|" + known.unit, "SPD_REF|Speed reference|min-1");
  EXPECT_EQ(known.pctValue, 16384);
  EXPECT_EQ(unknown.pctValue, 100) << "what the workbook holds for an unknown address";
  EXPECT_EQ(unknown.unit, "");
  EXPECT_EQ(bank.faults[0].name + "|" + bank.faults[0].explanation, "OC|Overcurrent");
}

void ExpectTheDrive(const DriveInfo& drive) {
  EXPECT_EQ(drive.driveType + "|" + drive.panelName + "|" + drive.orderNumber,
            std::string("RX-Fenn|") + kPanelName + "|" + kOrderNumber);
  EXPECT_EQ(drive.inverterRating, "400.0V - 52.0A - 36.0KVA");
  EXPECT_EQ(drive.motorRating, "18.5kW - 4P - 380V - 35.5A - 50.0Hz - 1470min-1");
  std::string rows;
  for (const auto& row : DriveInfoRows(drive)) rows += row.label + "=" + row.text + ";";
  EXPECT_NE(rows.find("Inverter current=52.0A;"), std::string::npos) << rows;
  EXPECT_NE(rows.find("Motor speed=1470min-1;"), std::string::npos) << rows;
}

// Message of the SaveError that reading `path` ends with.
std::string FailureOf(const fs::path& path) {
  try {
    ReadSave(path, platform::shell::CodePage());
  } catch (const SaveError& error) {
    return error.what();
  }
  return "<read without complaint>";
}

TEST(SaveReader, FolderArchiveWorkbookAndCsvSetGiveTheSameBanks) {
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
  std::string bytes = ReadText(archive);
  WriteText(scratch.path() / "cut.lzh", bytes.substr(0, bytes.size() / 2));
  bytes[bytes.size() * 2 / 3] ^= 0x5A;  // inside a member: its check sum no longer matches
  WriteText(scratch.path() / "flipped.lzh", bytes);
  for (const char* damaged : {"flipped.lzh", "cut.lzh"}) {
    EXPECT_NE(FailureOf(scratch.path() / damaged), "<read without complaint>") << damaged;
    EXPECT_TRUE(fs::is_empty(temp)) << "also after reading " << damaged;
  }
  // Headers that claim more than a save run can write: one member of 1 GiB, or nine members
  // each within the cap but beyond it together. Refused before a byte is written.
  const auto claiming = [](std::size_t members, std::uint32_t claimedBytes) {
    std::vector<drivesim::LzhMember> stored;
    for (std::size_t i = 0; i < members; ++i)
      stored.push_back({"TRBBIG_20141207_0910" + std::to_string(10 + i) + ".mdb", std::vector<std::uint8_t>(10, 'x')});
    auto archive = drivesim::StoredLzhArchive(stored);
    for (std::size_t at = 0; archive[at] != 0; at += archive[at] + 2u + 10u) {  // level-0: original size at 11
      for (int i = 0; i < 4; ++i) archive[at + 11 + i] = static_cast<std::uint8_t>(claimedBytes >> (8 * i));
      unsigned sum = 0;
      for (std::size_t b = at + 2; b < at + 2 + archive[at]; ++b) sum += archive[b];
      archive[at + 1] = static_cast<std::uint8_t>(sum);
    }
    return std::string(archive.begin(), archive.end());
  };
  WriteText(scratch.path() / "huge.lzh", claiming(1, 1u << 30));
  WriteText(scratch.path() / "many.lzh", claiming(9, 70u << 20));
  EXPECT_NE(FailureOf(scratch.path() / "huge.lzh").find("would be 1073741824 bytes, more than the"), std::string::npos)
      << FailureOf(scratch.path() / "huge.lzh");
  EXPECT_NE(FailureOf(scratch.path() / "many.lzh").find("allowed in all"), std::string::npos)
      << FailureOf(scratch.path() / "many.lzh");
  EXPECT_TRUE(fs::is_empty(temp)) << "nothing extracted from the oversized archives";
  if (before) ::setenv("TMPDIR", saved.c_str(), 1);
  else ::unsetenv("TMPDIR");
  EXPECT_EQ(fromArchive.name, archive.filename().string());

  const auto read = [](const fs::path& path) { return ReadSave(path, platform::shell::CodePage()); };
  const std::pair<SaveModel, std::size_t> forms[] = {
      {read(app / "TRBSAVE"), 2}, {fromArchive, 2}, {read(workbook), 1}, {read(csvFolder), 1}};
  for (const auto& [model, banks] : forms) {
    SCOPED_TRACE(model.name);
    ASSERT_EQ(model.banks.size(), banks);
    for (const Bank& bank : model.banks) ExpectTheBank(bank);
    // The CSV set's number is saved, so it comes first.
    if (banks == 2) {
      EXPECT_TRUE(model.banks[0].rawSamples && !model.banks[1].rawSamples);
    }
    ExpectTheDrive(model.drive);
  }
  EXPECT_FALSE(forms[2].first.banks[0].rawSamples) << "the workbook alone";
  EXPECT_TRUE(forms[3].first.banks[0].rawSamples) << "the CSV set alone";
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
  const std::pair<const char*, const char*> damages[] = {
      {"DROP TABLE Word", "no table \"Word\""},
      {"UPDATE Data SET Data2 = 'abc' WHERE rowid = 5", "sample 5 of \"Data2\""},
      {"UPDATE SampleParameters SET Block_Max = 99999 WHERE rowid = 2", "group 2"}};
  for (const auto& [sql, message] : damages) {
    const fs::path damaged = scratch.path() / ("TRBdamaged" + std::to_string(n++) + ".mdb");
    fs::copy_file(workbook, damaged);
    Sql(damaged, sql);
    EXPECT_NE(FailureOf(damaged).find(message), std::string::npos) << FailureOf(damaged);
  }
}

TEST(SaveReader, DamagedCsvSetEndsWithAMessageNamingTheLine) {
  Scratch scratch;
  const fs::path original = WriteCsvSet(scratch.path() / "app");
  struct Damage {
    const char* file;
    int line;  // 1-based; 0 removes the file
    std::function<void(std::string&)> edit;
    std::string message;
    bool whole = false;  // the message is all of it
  };
  const Damage damages[] = {
      {"Trb3_Data.csv", 17, [](std::string& l) { l.erase(l.rfind(',')); },
       "Trb3_Data.csv: line 17 has 3 samples, 4 expected (one per signal).", true},
      {"Trb3_Data.csv", 5, [](std::string& l) { l += ",7"; }, "line 5 has 5 samples"},
      {"Trb3_Data.csv", 9, [](std::string& l) { l.replace(l.find(','), 1, ",x"); }, "line 9 holds \"x"},
      {"Trb3_Data.csv", 3, [](std::string& l) { l[0] = '4'; }, "line 3 is numbered 4"},
      {"Trb3_Word.csv", 0, nullptr, "has no file Trb3_Word.csv"},
      {"Trb3_SampleParameters.csv", 2, [](std::string& l) { l = "2,64"; },
       "Trb3_SampleParameters.csv: line 2 has 2 fields"}};
  int n = 0;
  for (const Damage& damage : damages) {
    const fs::path folder = scratch.path() / ("damaged" + std::to_string(n++));
    fs::copy(original, folder);
    if (damage.line == 0) {
      fs::remove(folder / damage.file);
    } else {
      std::string text = ReadText(folder / damage.file);
      std::size_t start = 0;
      for (int l = 1; l < damage.line; ++l) start = text.find("\r\n", start) + 2;
      const std::size_t end = text.find("\r\n", start);
      std::string content = text.substr(start, end - start);
      damage.edit(content);
      WriteText(folder / damage.file, text.replace(start, end - start, content));
    }
    const std::string failure = FailureOf(folder);
    if (damage.whole) {
      EXPECT_EQ(failure, damage.message);
    } else {
      EXPECT_NE(failure.find(damage.message), std::string::npos) << failure;
    }
  }

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
