#pragma once
// The record tables of the setting-parameter workbook: trouble records, event counters, drive
// status and event log copied from their CSV files, with fault codes, status bits and counters
// named and scaled from the drive database, and the other banks' faults with "/l".
#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/connection.h"
#include "quillon/convert/save_folder_files.h"
#include "quillon/database/trace_workbook.h"
#include "quillon/output/drive_status_file.h"

namespace quillon {

// One bank's fault summary for the "OtherTRB" table.
struct OtherBankFaults {
  std::array<std::string, 7> time;  // fields 1-6: year, month, day, hour, minute, second
  std::string code1, code2;         // first and second fault codes as decimal text
};

// The rows of "OtherTRB": banks 0 to BankCount - 1, each bank's faults read again from the drive
// (by the save run, which alone sends requests) as its row is written.
struct OtherBanks {
  int BankCount = 0;
  // After a failed request, the entries read before.
  std::function<OtherBankFaults(int bank)> readBankFaults;
};

// Every block whose CSV file in `saveFolder` (written in `codePage`) exists, in order, then
// "OtherTRB" when `otherBanks` is given; throws on an engine error or a malformed line.
// `interfaceLevel` is the one the setting-parameter image set.
void WriteRecordTables(platform::db::Connection& work, DatabaseState& databases, const std::filesystem::path& saveFolder,
                       int interfaceLevel, ProgramVersion version, const std::optional<OtherBanks>& otherBanks,
                       const platform::shell::CodePage& codePage);

// The blocks one by one, from the lines of their files.
void WriteTroubleRecordTable(platform::db::Connection& work, DatabaseState& databases,
                             const std::vector<CsvFields>& lines);
void WriteEventCountTable(platform::db::Connection& work, DatabaseState& databases,
                          const std::vector<CsvFields>& lines, int interfaceLevel);
void WriteDriveStatusTable(platform::db::Connection& work, DatabaseState& databases,
                           const std::vector<CsvFields>& lines, ProgramVersion version);
void WriteEventLogTable(platform::db::Connection& work, DatabaseState& databases, const std::vector<CsvFields>& lines);
void WriteOtherBanksTable(platform::db::Connection& work, DatabaseState& databases, const OtherBanks& otherBanks);

// The status words whose bits become the event-log columns, in column order.
inline constexpr std::array<const char*, 5> kEventLogWords{"DI_DATA1", "DI_DATA5", "DI_DATA6", "SSEQ_OUT1",
                                                           "SSEQ_OUT3"};

// The 16 column names of a status word, bit 15 first: the bit's symbol + "_B" + bit + "_" +
// word, trimmed and without "."; "NU" for the symbol when "MainBIT" has no row for the word.
std::vector<std::string> BitFieldColumnNames(platform::db::Connection& drive, const std::string& wordName);
// Those columns as "Eventlog" defines them, each name quoted and Short: ", \"name\" Short" 16 times.
std::string MakeBitField(platform::db::Connection& drive, const std::string& wordName);

// The event counter's value through the three formula steps of its "Events" row: "*"
// multiplies, "/" divides by the symbol column's number; anything else leaves the value.
double ApplyFormulaSteps(double value, const std::array<std::pair<std::string, std::string>, 3>& steps);
// Rounded to `decimals` places (half away from zero).
double RoundToDecimals(double value, int decimals);

}  // namespace quillon
