#pragma once
// The setting-parameter tables of the workbook: the memory image of "Set_Sram_" walked
// together with the drive database's "MAIN" rows into one "DataSet" row per set parameter in
// its display form, "CharSet" rows for the character items and the identification "Memo" rows;
// the signal entries of the drive configuration file are collected on the way.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/shell/codepage.h"
#include "platform/db/connection.h"
#include "quillon/convert/save_folder_files.h"
#include "quillon/database/drive_db_lookups.h"

namespace quillon {

// One line of the image: a 16-bit word and its address.
struct SetpointLine {
  std::string addressText;  // as read: "0x" + digits
  std::uint32_t address = 0;
  std::string valueText;    // signed decimal as read
  std::uint16_t word = 0;
};

// Throws std::runtime_error naming the line when an address or value cannot be read.
std::vector<SetpointLine> ParseSetpointLines(const std::vector<CsvFields>& lines);

// A "MAIN" row with the defaults the address lookup gives for Null columns.
struct SetpointItem {
  std::string symbol;
  std::uint32_t address = 0;
  std::string Type, DisplayUnit, LongNameJP, LongNameUS, AccessUnit, ArrayLength;
};

// "MAIN" in address order; rows whose address is not hexadecimal are left out.
std::vector<SetpointItem> ReadSetpointItems(platform::db::Connection& drive);

struct DataSetRow {
  int ID = 0;
  std::string symbol, Data, Unit;
};
struct CharSetRow {
  std::string symbol, CharData;
};

struct SetpointTables {
  int InterfaceLevel = 6;  // 5 for an image that starts at 0x0000
  std::vector<DataSetRow> dataSet;
  std::vector<CharSetRow> charSet;
  std::vector<std::pair<std::string, std::string>> memo;  // ("Title", value), in the order set
  // For the drive configuration file.
  std::string signals;
  std::string configurationName, driveModel, firmwareVersion;
  std::array<int, 4> toolIp{};
};

// The walk over the image. `customer` holds the "Custmer" text while it is put together;
// character items are the drive's bytes in `codePage`.
SetpointTables ConvertSetpointImage(const std::vector<SetpointLine>& lines, const std::vector<SetpointItem>& items,
                                    DriveDbLookups& lookups, const LookupResults& results, std::string& customer,
                                    const platform::shell::CodePage& codePage);

// Appends the rows to "DataSet" and "CharSet" and fills the "Memo" rows by their "Title".
void WriteSetpointTables(platform::db::Connection& work, const SetpointTables& tables);

// The display form of a percent value by the display type's decimals: "1" to "6" give that
// many decimals, anything else a whole number followed by ".".
std::string PercentText(double value, const std::string& decimalPoint);

}  // namespace quillon
