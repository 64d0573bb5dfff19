#pragma once
// A small drive database, working folder and CSV files for the conversion tests.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "quillon/convert/convert_save_folder.h"
#include "quillon/convert/save_folder_files.h"
#include "tests/db/test_files.h"

namespace quillon_test {

inline const std::filesystem::path kTemplates = std::filesystem::path(QUILLON_BINARY_DIR) / "templates";
inline constexpr const char* kVersion = "TST02.10";
inline constexpr const char* kDriveType = "RX-Test";

// "MainBIT": a bit group and, for each of its 16 bits, symbol and long names.
inline std::string mainBitTable() {
  std::string sql = "CREATE TABLE MainBIT (ID INTEGER PRIMARY KEY, BitGroup TEXT";
  for (int bit = 0; bit < 16; ++bit) {
    const std::string b = (bit < 10 ? "\"0" : "\"") + std::to_string(bit);
    sql += ", " + b + "BitSymbol\" TEXT, " + b + "BitLongNameJP\" TEXT, " + b + "BitLongNameUS\" TEXT";
  }
  return sql + ");";
}

// MAIN rows written as (symbol, address, Type, DisplayUnit, AccessUnit, ArrayLength); NULL
// stands for a Null column.
inline const std::string kDriveDbSql = R"SQL(
CREATE TABLE MAIN (ID INTEGER PRIMARY KEY, symbol TEXT, address TEXT, "Type" TEXT, DisplayUnit TEXT,
  LongNameJP TEXT, LongNameUS TEXT, AccessUnit TEXT, ArrayLength TEXT);
INSERT INTO MAIN (symbol, address, "Type", DisplayUnit, AccessUnit, ArrayLength) VALUES
  ('MON16',      '1000',     NULL,    'H', 'W', NULL),
  ('P_FIRST',    '24059000', NULL,    'H', 'W', NULL),
  ('P_HEX',      '24059002', NULL,    'H', 'W', NULL),
  ('P_DEC',      '24059004', NULL,    'D', 'W', NULL),
  ('P_DWORD',    '24059006', NULL,    'D', 'D', NULL),
  ('P_PCT',      '2405900A', 'SPEED', '%', 'W', NULL),
  ('P_FLT',      '2405900C', 'TORQUE','%', 'F', NULL),
  ('P_BYTE_E',   '24059010', NULL,    'D', 'B', NULL),
  ('P_BYTE_O',   '24059011', NULL,    'D', 'B', NULL),
  ('TOOL_IP',    '24059012', NULL,    'H', 'D', NULL),
  ('INF_PANEL',  '24059016', NULL,    'C', 'W', '8'),
  ('P_REF',      '2405901E', NULL,    '&', 'D', NULL),
  ('P_OTHER',    '24059022', NULL,    'X', 'W', NULL),
  ('P_ZERO',     '24059024', NULL,    NULL, NULL, NULL),
  ('INF_M_TYPE', '24059028', NULL,    'C', 'W', '4'),
  ('INF_SOFTVER','2405902C', NULL,    'C', 'W', '4'),
  ('INF_JOBNO',  '24059030', NULL,    'C', 'W', '2'),
  ('INF_JOBNO1', '24059032', NULL,    'C', 'W', '2'),
  ('INF_OTHER',  '24059034', NULL,    'C', 'W', '2'),
  ('INF_TITLE',  '24059036', NULL,    'C', 'W', '2'),
  ('P5_A',       '0004',     NULL,    'D', 'W', NULL),
  ('P5_REF',     '0006',     NULL,    '&', 'D', NULL),
  ('EVENT01',    '00020000', 'COUNT', 'D', 'D', NULL),
  ('EVENT02',    '00020004', 'HOURS', '%', 'F', NULL);
CREATE TABLE "MAIN%Display" (ID INTEGER PRIMARY KEY, "Type" TEXT, "100%Value" TEXT, DiaplayChar TEXT,
  Decimalpoint TEXT);
INSERT INTO "MAIN%Display" ("Type", "100%Value", DiaplayChar, Decimalpoint) VALUES
  ('SPEED', '16384', 'min-1', '1'), ('TORQUE', '100', '%', '3'), ('COUNT', '100', 'times', '0'),
  ('HOURS', '100', 'h', '1');
CREATE TABLE FI (ID INTEGER PRIMARY KEY, FI_CODE TEXT, BitGroup TEXT, Bit TEXT);
INSERT INTO FI (FI_CODE, BitGroup, Bit) VALUES ('3', 'FLT_WORD1', '3'), ('12', 'FLT_WORD1', '12');
)SQL" + mainBitTable() + R"SQL(
INSERT INTO MainBIT (BitGroup, "03BitSymbol", "03BitLongNameUS", "12BitSymbol") VALUES
  ('FLT_WORD1', ' OV ', 'Overvoltage', 'OH');
INSERT INTO MainBIT (BitGroup, "00BitSymbol", "01BitSymbol", "15BitSymbol") VALUES
  ('SSEQ_OUT1', ' RUN ', 'FWD', 'RDY.OK'), ('DI_DATA1', 'DI1', 'D.I.2', 'DI16'), ('DI_DATA6', 'Y1', NULL, NULL),
  ('SSEQ_OUT3', 'ALM', NULL, NULL);
CREATE TABLE Events (ID INTEGER PRIMARY KEY, TitleJP TEXT, TitleUS TEXT, FormulaType1 TEXT, Symbol1 TEXT,
  FormulaType2 TEXT, Symbol2 TEXT, FormulaType3 TEXT, Symbol3 TEXT, Decimalpoint TEXT);
INSERT INTO Events (TitleJP, TitleUS, FormulaType1, Symbol1, FormulaType2, Symbol2, FormulaType3, Symbol3,
  Decimalpoint) VALUES
  ('運転回数', 'Run count', NULL, NULL, NULL, NULL, NULL, NULL, '0'),
  ('通電時間', 'Power-on time', '/', '60', '*', '3', '/', '0', '2'),
  ('故障回数', 'Fault count', '-', '4', '+', '1', 'x', '2', '1');
)SQL";

// i,0x<address>,<value>, lines from (address, value) pairs.
inline std::string setpointCsv(const std::vector<std::pair<std::uint32_t, int>>& words) {
  std::string text;
  int i = 1;
  for (const auto& [address, value] : words) {
    char label[16];
    std::snprintf(label, sizeof label, "%04X", address);
    text += std::to_string(i++) + ",0x" + label + "," + std::to_string(value) + ",\r\n";
  }
  return text;
}

// Two characters as the word that holds them, the first in the low byte.
inline int chars(char first, char second) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<unsigned char>(second) << 8 |
                                                              static_cast<unsigned char>(first)));
}

inline void writeFile(const std::filesystem::path& file, const std::string& bytes) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

inline std::string readFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

// The image of the level-6 items above, in address order.
inline std::vector<std::pair<std::uint32_t, int>> wideImage() {
  return {
      {0x24059000, 0x00A5},          {0x24059002, -1},              {0x24059004, -5},
      {0x24059006, 2},               {0x24059008, 1},               // P_DWORD low, high
      {0x2405900A, 8192},            {0x2405900C, 0},               {0x2405900E, 0x3FC0},  // 1.5f
      {0x24059010, 0x1234},          {0x24059012, 1},               {0x24059014, 0x7F00},  // TOOL_IP
      {0x24059016, chars('P', 'N')}, {0x24059018, chars('L', '-')}, {0x2405901A, chars('7', '\0')},
      {0x2405901C, chars('x', 'y')}, {0x2405901E, -28668},          {0x24059020, 0x2405},  // P_REF 0x24059004
      {0x24059022, 42},              {0x24059024, 0},               {0x24059026, -7},
      {0x24059028, chars('R', 'X')}, {0x2405902A, chars('-', 'T')}, {0x2405902C, chars('V', '1')},
      {0x2405902E, chars('.', '2')}, {0x24059030, chars('A', 'B')}, {0x24059032, chars('C', 'D')},
      {0x24059034, chars('Z', 'Z')}, {0x24059036, 0},               {0x24059038, 0},
  };
}

inline std::tm localTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day, t.tm_hour = hour, t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

struct Folder {
  db_test::ScratchFolder scratch;
  std::filesystem::path app = scratch.file("app");
  std::filesystem::path save = app / "TRBSAVE";
  std::filesystem::path driveDb = app / (std::string(kVersion) + ".mdb");

  Folder() {
    std::filesystem::create_directories(save);
    db_test::makeSqliteFile(driveDb, kDriveDbSql);
  }

  // `text` written as the working folder's file `name`, read back as CSV lines.
  std::vector<quillon::CsvFields> csvLines(const std::string& text, const std::string& name) const {
    writeFile(save / name, text);
    return quillon::ReadCsvFields(save / name, platform::shell::CodePage());
  }

  // The drive whose files the folder holds, and the conversion of them.
  struct Run {
    quillon::DriveIdentity drive;
    quillon::SaveFolderConversion job;
  };
  Run run() const {
    Run r;
    r.drive.DriveType = kDriveType;
    r.drive.DriveSoftVersion = std::string(kVersion) + "  ";
    r.drive.InterfaceLevel = 6;
    r.job.workingFolder = save;
    r.job.folders = {app, scratch.file("opt"), kTemplates};
    r.job.version = {2, 1};
    r.job.now = [] { return localTime(2014, 3, 12, 8, 5, 9); };
    return r;
  }
};

}  // namespace quillon_test
