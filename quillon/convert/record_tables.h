#pragma once
// The record tables of the setting-parameter workbook: trouble records, event counters, drive
// status and event log copied from their CSV files, with fault codes, status bits and counters
// named and scaled from the drive database, and the other banks' faults with "/l".
#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/db/connection.h"
#include "quillon/convert/save_folder_files.h"
#include "quillon/database/trace_workbook.h"

namespace quillon {

// One bank's fault summary for the "OtherTRB" table.
struct OtherBankFaults {
  std::array<std::string, 7> time;  // fields 1-6: year, month, day, hour, minute, second
  std::string code1, code2;         // first and second fault codes as decimal text
};

struct RecordTablesInput {
  std::filesystem::path saveFolder;  // AppFolder/TRBSAVE
  int InterfaceLevel = 0;            // as the setting-parameter image set it
  int programMajor = 0, programMinor = 0;
  std::string CommandLine;
  int RecordedBankCount = 0;
  int BankCount = 0;
  // Reads the bank's faults again ("MY51"); after a failed request the entries read before.
  std::function<OtherBankFaults(int bank)> readBankFaults;
};

// Every block whose CSV file exists, in order; throws on an engine error or a malformed line.
void WriteRecordTables(platform::db::Connection& work, DatabaseState& databases, const RecordTablesInput& input);

// The blocks one by one, from the lines of their files.
void WriteTroubleRecordTable(platform::db::Connection& work, DatabaseState& databases,
                             const std::vector<CsvFields>& lines);
void WriteEventCountTable(platform::db::Connection& work, DatabaseState& databases,
                          const std::vector<CsvFields>& lines, int interfaceLevel);
void WriteDriveStatusTable(platform::db::Connection& work, DatabaseState& databases,
                           const std::vector<CsvFields>& lines, int programMajor, int programMinor);
void WriteEventLogTable(platform::db::Connection& work, DatabaseState& databases, const std::vector<CsvFields>& lines);
void WriteOtherBanksTable(platform::db::Connection& work, DatabaseState& databases, const RecordTablesInput& input);

// The status words whose bits become the event-log columns, in column order.
inline constexpr std::array<const char*, 5> kEventLogWords{"DI_DATA1", "DI_DATA5", "DI_DATA6", "SSEQ_OUT1",
                                                           "SSEQ_OUT3"};

// The 16 column names of a status word, bit 15 first: the bit's symbol + "_B" + bit + "_" +
// word, trimmed and without "."; "NU" for the symbol when "MainBIT" has no row for the word.
std::vector<std::string> BitFieldColumnNames(platform::db::Connection& drive, const std::string& wordName);
// Adds those columns to "Eventlog" as Short.
void MakeBitField(platform::db::Connection& work, platform::db::Connection& drive, const std::string& wordName);

// The event counter's value through the three formula steps of its "Events" row: "*"
// multiplies, "/" divides by the symbol column's number; anything else leaves the value.
double ApplyFormulaSteps(double value, const std::array<std::pair<std::string, std::string>, 3>& steps);
// Rounded to `decimals` places (half away from zero).
double RoundToDecimals(double value, int decimals);

}  // namespace quillon
