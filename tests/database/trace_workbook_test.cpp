#include "quillon/database/trace_workbook.h"

#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

#include "tests/db/test_files.h"

using namespace quillon;
using db_test::queryText;

namespace {

const std::filesystem::path kTemplates = std::filesystem::path(QUILLON_BINARY_DIR) / "templates";
constexpr const char* kSimVersion = "SIM01.00";

std::int32_t floatBits(float value) {
  std::int32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// A bank of the simulated drive with the 32-bit request set, the same in every bank's rows.
struct WideBank {
  DriveIdentity id{.InterfaceVersionText = "", .InterfaceLevel = 6, .DriveType = "VX-SIM", .DriveSoftVersion = "",
                   .OrderNumber1 = "ORD-1", .OrderNumber2 = "0042", .PanelName = "PANEL 1", .InverterVoltage = "400",
                   .InverterCurrent = "12.5", .InverterCapacity = "8.7", .MotorOutput = "5.5", .MotorPoles = "4",
                   .MotorVoltage = "380", .MotorCurrent = "11", .MotorFrequency = "50", .MotorSpeed = "1450"};
  TraceBackTables t;
  std::string SafePanelName = "PANEL_1  ";

  WideBank() {
    t.GroupDepth = {1, 1, 0, 0, 0, 0};
    t.GroupSignals = {0, 4, 3, 0, 0, 0};
    t.GroupFaultIndex = {0, 10, 20, 30, 0, 0};
    t.GroupSampling = {0, 1000, 2000, 70000, 0, 0};
    t.MaxGroupDepth = 1;
    t.SignalsPerBank = 7;
    layOut({"&H00010000", "&H00010008", "&H00010010", "&H00010012", "&H0001001D", "&H0001FFF0", "&H00010018"});
    setSamples32([](int signal, int sample) -> std::int32_t {
      switch (signal) {
        case 1: return sample * 1000 - 5;
        case 2: return floatBits(1.5f);
        case 3:
        case 4:
        case 5: return 0x1234ABCD;
        case 6: return -1;
        default: return 0x0001F00F;
      }
    });
  }

  // The tables sized for the layout, every bank with the same time, faults, version and addresses.
  void layOut(const std::vector<std::string>& addresses) {
    t.resizeBankTime();
    t.resizeBankTables(id.InterfaceLevel);
    for (int bank = 0; bank <= t.BankCount; ++bank) {
      t.BankTime[bank] = {"", "2014", "12", "07", "09", "30", "15"};
      t.BankSoftVersion[bank] = kSimVersion;
      auto& faults = t.BankFaults[bank];
      faults[1] = {std::nullopt, 3, 100};
      faults[2] = {std::nullopt, 12, -1};
      for (int k = 3; k < 30; ++k) faults[k] = {std::nullopt, -1, -1};
      faults[28] = {std::nullopt, 213, 5};
      faults[29] = {std::nullopt, 99, 7};  // code without a bit row
      faults[30] = {};                     // never read
      for (std::size_t s = 0; s < addresses.size(); ++s) t.SignalAddress[bank][s + 1] = addresses[s];
    }
  }
  void setSamples32(const std::function<std::int32_t(int, int)>& sample) {
    for (int signal = 1; signal <= t.SignalsPerBank; ++signal)
      for (int i = 1; i <= t.sampleDepth(); ++i) t.SampleData32.set(signal, i, sample(signal, i));
  }
  void setSoftVersion(const std::string& version) {
    for (std::string& v : t.BankSoftVersion) v = version;
  }
  TraceBank bank(std::uint8_t number) const { return TraceBank{number, id, t, SafePanelName}; }
};

struct Fixture {
  db_test::ScratchFolder scratch;
  TraceWorkbookFiles files;
  DatabaseState databases;
  ExchangeState exchange;

  Fixture() {
    files.driveDb = kTemplates / "SIM01.00.mdb";
    files.templateFile = kTemplates / "TRB_TMP.mdb";
    files.workingFolder = scratch.file("app") / "TRBSAVE";
  }
  std::optional<std::filesystem::path> write(const WideBank& wide, std::uint8_t bank, bool lastFaultOnly = false) {
    return WriteTraceWorkbook(wide.bank(bank), lastFaultOnly, files, databases, exchange);
  }
  std::filesystem::path saveFolder() const { return files.workingFolder; }
  long filesInSaveFolder() const {
    std::error_code ignored;
    return std::distance(std::filesystem::directory_iterator(saveFolder(), ignored), std::filesystem::directory_iterator());
  }
};

// The named columns of one row, '|' between them.
std::string rowText(const std::filesystem::path& file, const std::string& table, const std::string& columns, int id = 1) {
  std::string joined;
  for (char c : columns) joined += c == ',' ? std::string(" || '|' || ") : std::string(1, c);
  return queryText(file, "SELECT " + joined + " FROM " + table + (id ? " WHERE ID = " + std::to_string(id) : ""));
}

bool isReadOnly(const std::filesystem::path& path) {
  using std::filesystem::perms;
  return (std::filesystem::status(path).permissions() & (perms::owner_write | perms::group_write | perms::others_write)) ==
         perms::none;
}

}  // namespace

TEST(SampleValue, TakesTheSampleByAccessCodeAndOffset) {
  // "W": offset 0 the low word, offset 2 the high word, both signed.
  EXPECT_EQ(SampleValue(SampleForm::Word, 0, 0x1234ABCD, true), -21555.0);
  EXPECT_EQ(SampleValue(SampleForm::Word, 2, 0x1234ABCD, true), 4660.0);
  EXPECT_EQ(SampleValue(SampleForm::Word, 2, static_cast<std::int32_t>(0xFFFE0001u), true), -2.0);
  EXPECT_EQ(SampleValue(SampleForm::Word, 0, -1, false), -1.0);
  // 16-bit samples have only the low word: the high word reads 0.
  EXPECT_EQ(SampleValue(SampleForm::Word, 2, -1, false), 0.0);
  // "F": the bits as a float.
  EXPECT_EQ(SampleValue(SampleForm::Float, 0, floatBits(-2.25f), true), -2.25);
  EXPECT_EQ(SampleValue(SampleForm::Float, 0, 0, true), 0.0);
  // "D": the number itself.
  EXPECT_EQ(SampleValue(SampleForm::Decimal, 3, -123456, true), -123456.0);
  // Other codes: one byte.
  EXPECT_EQ(SampleValue(SampleForm::Byte, 0, 0x1234ABCD, true), 205.0);
  EXPECT_EQ(SampleValue(SampleForm::Byte, 1, 0x1234ABCD, true), 171.0);
  EXPECT_EQ(SampleValue(SampleForm::Byte, 3, 0x1234ABCD, true), 18.0);
  EXPECT_EQ(SampleValue(SampleForm::Byte, 1, -1, false), 255.0);

  EXPECT_EQ(SignalByteOffset("&H0001001E"), 2);
  EXPECT_EQ(SignalByteOffset("&H0001001D"), 1);
  EXPECT_EQ(SignalByteOffset("&H1002"), 0);
  EXPECT_EQ(SampleFormOf("D"), SampleForm::Decimal);
  EXPECT_EQ(SampleFormOf("F"), SampleForm::Float);
  EXPECT_EQ(SampleFormOf("W"), SampleForm::Word);
  EXPECT_EQ(SampleFormOf("B"), SampleForm::Byte);
}

TEST(TraceWorkbook, WritesEveryTableOfTheSimulatedDrive) {
  Fixture f;
  auto written = f.write(WideBank(), 2);
  ASSERT_TRUE(written) << f.exchange.ErrorText;
  EXPECT_FALSE(f.exchange.AbortFlag);
  EXPECT_EQ(written->filename(), "TRBPANEL_1_20141207_093015 OV, OH.mdb");
  EXPECT_EQ(written->parent_path(), f.saveFolder());
  EXPECT_EQ(f.filesInSaveFolder(), 1);  // no partial file left
  EXPECT_TRUE(isReadOnly(*written));
  EXPECT_EQ(f.databases.results.DriveDbPath, kTemplates / "SIM01.00.mdb");
  const auto& p = *written;

  EXPECT_EQ(queryText(p, "SELECT group_concat(ifnull(Memo, 'NULL'), '|') FROM (SELECT Memo FROM Memo ORDER BY ID)"),
            "VX-SIM|SIM01.00|PANEL 1|??| 0|TraceBack");

  EXPECT_EQ(queryText(p, "SELECT count(*) FROM Word"), "7");
  EXPECT_EQ(rowText(p, "Word", "address,symbol,DisplayChar,PCTValue,LongName,Max,Min"),
            "&H00010000|SPD_REF|min-1|16384.0|Speed reference|0.0|0.0");
  EXPECT_EQ(rowText(p, "Word", "symbol,DisplayChar,PCTValue", 2), "TRQ_REF|%|100.0");
  // Unknown to the database: the address as symbol, "D", 100 and "None".
  EXPECT_EQ(rowText(p, "Word", "address,symbol,DisplayChar,PCTValue,LongName", 6), "&H0001FFF0|&H0001FFF0|D|100.0|None");
  // A hexadecimal item is not scaled.
  EXPECT_EQ(rowText(p, "Word", "symbol,DisplayChar,PCTValue", 7), "SSEQ_OUT1|D|100.0");

  EXPECT_EQ(rowText(p, "Title", "OrderNumber,DetectTime,MAX_SAMPLE,Inv_Rating,Motor_Rating,HelpFileJP,HelpFileUS", 0),
            "ORD-1 0042|2014/12/07  09:30:15|3|400V - 12.5A - 8.7KVA|5.5kW - 4P - 380V - 11A - 50Hz - 1450min-1||");

  EXPECT_EQ(queryText(p, "SELECT group_concat(Block_Max || ',' || Channel_Max || ',' || Fault_idx || ',' || SAMPLING, '|') FROM (SELECT * FROM SampleParameters ORDER BY ID)"),
            "64,4,10,1000|64,7,20,2000|0,7,30,70000");

  EXPECT_EQ(rowText(p, "FI", "FINmae,FIExp,FiCode,FiDetectedSample,HelpPageJP,HelpPageUS"), "OV|Overvoltage|3|100|0|0");
  // A detected sample of -1 is written as 0.
  EXPECT_EQ(rowText(p, "FI", "FINmae,FIExp,FiCode,FiDetectedSample", 2), "OH|Heat sink overheat|12|0");
  EXPECT_EQ(rowText(p, "FI", "FINmae,FIExp,FiCode,FiDetectedSample", 3), "No Detect||-1|0");
  EXPECT_EQ(rowText(p, "FI", "FINmae,FIExp,FiCode", 28), "E213|Fault 213|213");
  EXPECT_EQ(rowText(p, "FI", "FINmae,FiCode,FiDetectedSample", 29), "No Data|99|7");
  EXPECT_EQ(queryText(p, "SELECT FINmae || '|' || FiCode || '|' || ifnull(FiDetectedSample, 'NULL') FROM FI WHERE ID = 30"), "No Data||NULL");

  EXPECT_EQ(queryText(p, "SELECT count(*) FROM Data"), "64");
  EXPECT_EQ(rowText(p, "Data", "Data1,Data2,Data3,Data4,Data5,Data6,Data7"), "995|1.5|-21555|4660|171|-1|-4081");
  EXPECT_EQ(queryText(p, "SELECT Data1 FROM Data ORDER BY ID DESC LIMIT 1"), "63995");
  EXPECT_EQ(queryText(p, "SELECT group_concat(name, ',') FROM pragma_table_info('Data')"),
            "ID,Data1,Data2,Data3,Data4,Data5,Data6,Data7");
}

TEST(TraceWorkbook, ReplacesAReadOnlyWorkbookOfTheSameNameAndNamesTheBankWithL) {
  Fixture f;
  WideBank in;
  auto first = f.write(in, 1);
  ASSERT_TRUE(first) << f.exchange.ErrorText;
  // Without "/l" another bank with the same time and faults gets the same name.
  in.setSamples32([](int, int) { return 7; });
  auto second = f.write(in, 4);
  ASSERT_TRUE(second) << f.exchange.ErrorText;
  EXPECT_EQ(*first, *second);
  EXPECT_EQ(f.filesInSaveFolder(), 1);
  EXPECT_TRUE(isReadOnly(*second));
  EXPECT_EQ(queryText(*second, "SELECT Data1 FROM Data LIMIT 1"), "7");
  EXPECT_EQ(queryText(*second, "SELECT count(*) FROM Word"), "7");

  auto numbered = f.write(in, 4, true);
  ASSERT_TRUE(numbered) << f.exchange.ErrorText;
  EXPECT_EQ(numbered->filename(), "TRB4PANEL_1_20141207_093015 OV, OH.mdb");
}

TEST(TraceWorkbook, SixteenBitSamplesAndShortAddresses) {
  Fixture f;
  WideBank in;
  in.id.InterfaceLevel = 5;
  in.t.SignalsPerBank = 3;
  in.t.GroupSignals = {0, 3, 0, 0, 0, 0};
  in.layOut({"&H1000", "&H1004", "&H1FF0"});
  for (int i = 1; i <= in.t.sampleDepth(); ++i)
    for (int signal = 1; signal <= 3; ++signal)
      in.t.SampleData16.set(signal, i, signal == 3 ? static_cast<std::int16_t>(-i) : static_cast<std::int16_t>(-1));
  auto written = f.write(in, 0);
  ASSERT_TRUE(written) << f.exchange.ErrorText;
  EXPECT_EQ(queryText(*written, "SELECT group_concat(symbol, ',') FROM Word"), "SPD_REF16,V_DC16,&H1FF0");
  EXPECT_EQ(rowText(*written, "Data", "Data1,Data2,Data3", 2), "-1|-1|-2");
}

TEST(TraceWorkbook, EndsCleanlyOnBadFiles) {
  Fixture f;
  WideBank in;

  // A workbook already saved stays when a later one fails.
  auto saved = f.write(in, 1);
  ASSERT_TRUE(saved);

  // Missing template.
  f.files.templateFile = f.scratch.file("nowhere") / "TRB_TMP.mdb";
  in.setSamples32([](int, int) { return 1; });
  EXPECT_FALSE(f.write(in, 1));
  EXPECT_TRUE(f.exchange.AbortFlag);
  EXPECT_NE(f.exchange.ErrorText.find("TRB_TMP.mdb"), std::string::npos) << f.exchange.ErrorText;
  EXPECT_TRUE(std::filesystem::exists(*saved));
  EXPECT_EQ(queryText(*saved, "SELECT Data1 FROM Data LIMIT 1"), "995");
  EXPECT_EQ(f.filesInSaveFolder(), 1);

  // A damaged drive database.
  f.files.templateFile = kTemplates / "TRB_TMP.mdb";
  f.exchange = ExchangeState{};
  f.files.driveDb = f.scratch.file("app") / "SIM01.00.mdb";
  std::ofstream(f.files.driveDb) << "SQLite format 3" << std::string(1, '\0') << "junk";
  EXPECT_FALSE(f.write(in, 1));
  EXPECT_TRUE(f.exchange.AbortFlag);
  EXPECT_NE(f.exchange.ErrorText.find("SIM01.00.mdb"), std::string::npos) << f.exchange.ErrorText;
  EXPECT_TRUE(std::filesystem::exists(*saved));

  // More signals than addresses read.
  f.files.driveDb = kTemplates / "SIM01.00.mdb";
  f.exchange = ExchangeState{};
  in.t.SignalsPerBank = 9;
  EXPECT_FALSE(f.write(in, 1));
  EXPECT_TRUE(f.exchange.AbortFlag);
  EXPECT_EQ(f.filesInSaveFolder(), 1);
}

TEST(TraceWorkbook, FaultNamesFromTheDatabaseStayInsideTheWorkingFolder) {
  Fixture f;
  auto drive = f.scratch.file("SIM01.00.mdb");
  f.files.driveDb = drive;
  std::filesystem::copy_file(kTemplates / "SIM01.00.mdb", drive);
  std::filesystem::permissions(drive, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
  db_test::makeSqliteFile(drive, "UPDATE MainBIT SET \"03BitSymbol\" = '../../escaped', \"12BitSymbol\" = '/abs\\x' WHERE BitGroup = 'FLT_WORD1';");
  auto written = f.write(WideBank(), 0);
  ASSERT_TRUE(written) << f.exchange.ErrorText;
  EXPECT_EQ(written->parent_path(), f.saveFolder());
  EXPECT_EQ(written->filename(), "TRBPANEL_1_20141207_093015 .._.._escaped, _abs_x.mdb");
  // The workbook's own "FI" table keeps the names as the database gives them.
  EXPECT_EQ(queryText(*written, "SELECT FINmae FROM FI WHERE ID = 1"), "../../escaped");
}
