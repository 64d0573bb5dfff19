// The walk of the setting-parameter image over the drive database's items.
#include "quillon/convert/setpoint_workbook.h"

#include <gtest/gtest.h>

#include "tests/convert/convert_fixture.h"

using namespace quillon;
using namespace quillon_test;

namespace {

struct Walk {
  Folder folder;
  DatabaseState databases;
  std::vector<SetpointItem> items;
  std::string customer;

  Walk() {
    databases.openDriveDb(folder.driveDb);
    items = ReadSetpointItems(*databases.driveDb);
  }
  SetpointTables convert(const std::vector<std::pair<std::uint32_t, int>>& words) {
    auto lines = ParseSetpointLines(folder.csvLines(setpointCsv(words), "Set_Sram_t.csv"));
    return ConvertSetpointImage(lines, items, databases.lookups, databases.results, customer, platform::shell::CodePage());
  }
};

std::string rowsText(const SetpointTables& tables) {
  std::string text;
  for (const auto& row : tables.dataSet)
    text += std::to_string(row.ID) + "|" + row.symbol + "|" + row.Data + "|" + row.Unit + "\n";
  return text;
}

std::string memoOf(const SetpointTables& tables, const std::string& title) {
  for (const auto& [t, value] : tables.memo)
    if (t == title) return value;
  return "<none>";
}

std::string charSetText(const SetpointTables& tables) {
  std::string text;
  for (const auto& row : tables.charSet) text += row.symbol + "=" + row.CharData + ";";
  return text;
}

}  // namespace

TEST(SetpointWorkbook, WideImageGivesEveryDisplayFormAndCollectsSignals) {
  Walk walk;
  const SetpointTables tables = walk.convert(wideImage());
  EXPECT_EQ(tables.InterfaceLevel, 6);
  EXPECT_EQ(rowsText(tables),
            "1|P_FIRST|00000000|(H)\n"  // an image not at 0x0000 starts with its first item
            "2|P_FIRST|00A5|(H)\n"
            "3|P_HEX|FFFF|(H)\n"
            "4|P_DEC|-5|(D)\n"
            "5|P_DWORD| 65538|(D)\n"  // high word from the following line
            "6|P_PCT|50.0|(%)(16384)\n"
            "7|P_FLT|1.500|(%)(100)\n"  // the word pair as a float
            "8|P_BYTE_E| 18|(D)\n"      // even address: high byte
            "9|P_BYTE_O| 52|(D)\n"      // odd address: low byte of the same word
            "10|TOOL_IP|7F000001|(H)\n"
            "11|P_REF|P_DEC|(&)\n"  // the word pair names another item
            "12|P_OTHER| 42|(D)\n"
            "13|0x24059026|-7|(D)\n"  // a word without item keeps its address
            "14|SETEND|00000000|(H)\n");
  // Zero words (P_ZERO, the last line) and character items write no "DataSet" row.

  EXPECT_EQ(tables.signals,
            "<signal value=\"165\" id=\"P_FIRST\"/><signal value=\"65535\" id=\"P_HEX\"/>"
            "<signal value=\"65531\" id=\"P_DEC\"/><signal value=\"65538\" id=\"P_DWORD\"/>"
            "<signal value=\"8192\" id=\"P_PCT\"/><signal value=\"1069547520\" id=\"P_FLT\"/>"
            "<signal value=\"18\" id=\"P_BYTE_E\"/><signal value=\"52\" id=\"P_BYTE_O\"/>"
            "<signal value=\"127\" id=\"TOOL_IP1\"/><signal value=\"0\" id=\"TOOL_IP2\"/>"
            "<signal value=\"0\" id=\"TOOL_IP3\"/><signal value=\"1\" id=\"TOOL_IP4\"/>"
            "<signal value=\"604344324\" id=\"P_REF\"/><signal value=\"42\" id=\"P_OTHER\"/>");
  EXPECT_EQ(tables.toolIp, (std::array<int, 4>{127, 0, 0, 1}));

  // Character items: 8 bytes from 4 lines cut at the NUL; INF_JOBNO1 replaces INF_JOBNO's
  // row and extends the customer text; unlisted items write nothing; empty is "@NULL".
  EXPECT_EQ(charSetText(tables), "INF_PANEL=PNL-7;INF_M_TYPE=RX-T;INF_SOFTVER=V1.2;INF_JOBNO1=CD;INF_TITLE=@NULL;");
  EXPECT_EQ(walk.customer, "ABCD");
  for (const auto& [title, value] : std::vector<std::pair<std::string, std::string>>{
           {"Custmer", "ABCD"}, {"PanelName", "PNL-7"}, {"DriveType", "RX-T"}, {"SoftVer", "V1.2"},
           {"Templete＃", " 0"}, {"FileFor", "SetPoint"}})
    EXPECT_EQ(memoOf(tables, title), value) << title;
  EXPECT_EQ(tables.configurationName + "|" + tables.driveModel + "|" + tables.firmwareVersion, "PNL-7|RX-T|V1.2");
}

TEST(SetpointWorkbook, ImageFromZeroIsTheNarrowLayout) {
  Walk walk;
  const SetpointTables tables = walk.convert({{0x0000, 99},  // no parameter, and no "00000000" row
                                              {0x0002, 5},   // below the first item
                                              {0x0004, 300},
                                              {0x0006, 0x12},
                                              {0x0008, 1},  // high word of P5_REF: a second row
                                              {0x000A, 0},
                                              {0x000C, -3}});
  EXPECT_EQ(tables.InterfaceLevel, 5);
  EXPECT_EQ(rowsText(tables),
            "1|0x0002| 5|(D)\n"
            "2|P5_A| 300|(D)\n"
            "3|P5_REF|0012|(&)\n"
            "4|P5_REF_H|0001|(&)\n"
            "5|0x000C|-3|(D)\n"
            "6|SETEND|00000000|(H)\n");
  EXPECT_EQ(tables.signals,
            "<signal value=\"300\" id=\"P5_A\"/><signal value=\"18\" id=\"P5_REF\"/>"
            "<signal value=\"1\" id=\"P5_REF_H\"/>");
}

TEST(SetpointWorkbook, ZeroValuesTwoWordItemsAndEdgesOfTheImage) {
  Walk walk;
  // A two-word item is zero only when both words are; the character items of the 32-bit
  // customer number are left out below level 6.
  SetpointTables tables = walk.convert({{0x24059000, 0}, {0x24059002, 0}, {0x24059004, 0}, {0x24059006, 0},
                                        {0x24059008, 7}});
  EXPECT_EQ(rowsText(tables), "1|P_FIRST|00000000|(H)\n2|P_DWORD| 458752|(D)\n3|SETEND|00000000|(H)\n");
  EXPECT_EQ(tables.signals, "<signal value=\"458752\" id=\"P_DWORD\"/>");

  // An image that ends inside a two-word item takes 0 for the missing word.
  tables = walk.convert({{0x24059006, -1}});
  EXPECT_EQ(rowsText(tables), "1|P_DWORD|00000000|(H)\n2|P_DWORD| 65535|(D)\n3|SETEND|00000000|(H)\n");

  // An image starting at an address no item has: every non-zero word is written by address.
  tables = walk.convert({{0x30000000, 1}, {0x30000002, 0}});
  EXPECT_EQ(rowsText(tables), "1|0x30000000| 1|(D)\n2|SETEND|00000000|(H)\n");

  // An empty image still closes the table.
  tables = walk.convert({});
  EXPECT_EQ(rowsText(tables), "1|SETEND|00000000|(H)\n");

  // Items built in place: "&" at level 6 without a matching item keeps the digits; a percent
  // type without a 100 % value stays unscaled; character items of odd length.
  walk.items = {{"Q_REF", 0x40, "100", "&", "", "", "D", ""},
                {"Q_PCT", 0x44, "NOPE", "%", "", "", "W", ""},
                {"INF_JOBNO", 0x46, "100", "C", "", "", "W", "3"},
                {"INF_JOBNO2", 0x4A, "100", "C", "", "", "W", "2"}};
  tables = walk.convert({{0x40, 0x1234}, {0x42, 0x0099}, {0x44, -250}, {0x46, chars('J', '1')},
                         {0x48, chars('2', 'x')}, {0x4A, chars(' ', ' ')}});
  EXPECT_EQ(rowsText(tables), "1|Q_REF|00000000|(H)\n2|Q_REF|00991234|(&)\n3|Q_PCT|-250.|(%)(0)\n"
                              "4|SETEND|00000000|(H)\n");
  EXPECT_EQ(charSetText(tables), "INF_JOBNO2=@NULL;");
  EXPECT_EQ(memoOf(tables, "Custmer"), "J12");
}

TEST(SetpointWorkbook, DamagedLinesAreRefusedWithTheirNumber) {
  auto parse = [](const std::vector<CsvFields>& lines) -> std::string {
    try {
      ParseSetpointLines(lines);
      return "parsed";
    } catch (const std::exception& error) {
      return error.what();
    }
  };
  EXPECT_EQ(parse({{"1", "0x0000", "5", ""}, {""}, {"2", "0x0002", "-32768", ""}}), "parsed");
  EXPECT_NE(parse({{"1", "0x0000", "5", ""}, {"2", "0002", "1", ""}}).find("Line 2"), std::string::npos);
  EXPECT_NE(parse({{"1", "0xG000", "5", ""}}).find("not hexadecimal"), std::string::npos);
  EXPECT_NE(parse({{"1", "0x0000", "70000", ""}}).find("no 16-bit number"), std::string::npos);
  EXPECT_NE(parse({{"1", "0x0000"}}).find("no 16-bit number"), std::string::npos);
  EXPECT_NE(parse({{"1", "0x123456789", "1"}}).find("not hexadecimal"), std::string::npos);
}

TEST(SetpointWorkbook, PercentTextFollowsTheDecimals) {
  EXPECT_EQ(PercentText(50, "1"), "50.0");
  EXPECT_EQ(PercentText(1.23456789, "6"), "1.234568");
  EXPECT_EQ(PercentText(-0.04, "1"), "0.0");
  EXPECT_EQ(PercentText(12.5, "0"), "13.");
  EXPECT_EQ(PercentText(-7.4, "7"), "-7.");
  EXPECT_EQ(PercentText(3, ""), "3.");
}
