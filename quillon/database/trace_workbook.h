#pragma once
// The trace-back workbook: one database file per recorded bank that names every traced signal
// with the drive database's symbols and scaling, with the bank's samples, groups and faults.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/db/slots.h"
#include "quillon/database/drive_db_location.h"
#include "quillon/database/drive_db_lookups.h"
#include "quillon/database/lookup_results.h"
#include "quillon/requests/drive_identity.h"
#include "quillon/requests/exchange.h"
#include "quillon/requests/trace_back_tables.h"

namespace quillon {

inline constexpr const char* kTraceTemplateName = "TRB_TMP.mdb";

// The files one bank's workbook is made from and into.
struct TraceWorkbookFiles {
  std::filesystem::path driveDb;        // the drive database of the bank's firmware
  std::filesystem::path templateFile;   // "TRB_TMP.mdb"
  std::filesystem::path workingFolder;  // where the workbook is written (created when missing)
};

// The two connection slots and the lookups with their results.
struct DatabaseState {
  DatabaseState() = default;
  // The lookups refer to this object's results.
  DatabaseState(const DatabaseState&) = delete;
  DatabaseState& operator=(const DatabaseState&) = delete;

  platform::db::ConnectionSlot driveDb;
  platform::db::ConnectionSlot workDb;
  LookupResults results;
  DriveDbLookups lookups{results};
  // A drive database is checked as a whole when it is opened: a damaged one would otherwise
  // name signals and events wrongly without a word.
  platform::db::OpenOptions driveDbOptions{.verify = true};

  // Opens the drive database as the drive-database connection and attaches the lookups to it;
  // a damaged one is refused with a DbError that names it.
  void openDriveDb(const std::filesystem::path& path);
  void closeDriveDb();
};

// How one sample is written for a signal's access code and byte offset.
enum class SampleForm { Decimal, Float, Word, Byte };
SampleForm SampleFormOf(const std::string& accessCode);
// The value stored in the "Data" column; `sample` as the drive sent it, `wide` for 32-bit samples.
double SampleValue(SampleForm form, int byteOffset, std::int32_t sample, bool wide);

// Byte offset of a signal within its 32-bit word: the last digit modulo 4 of an 8-digit address.
int SignalByteOffset(const std::string& addressText);

// The workbook's file name (without folder): "TRB", the bank number when it is given ("Last
// Fault Only"), the panel name, the bank's date and time and the two fault names.
std::string TraceWorkbookName(std::optional<int> bankInName, const std::string& SafePanelName, const BankTimeRow& time,
                              const std::string& faultName1, const std::string& faultName2);

// Writes the workbook of the bank with the drive database `files.driveDb`. A failure ends the
// run through `exchange` (AbortFlag and ErrorText); files already saved stay and an existing
// workbook of the same name is replaced only by a complete one. Returns the workbook written.
std::optional<std::filesystem::path> WriteTraceWorkbook(const TraceBank& bank, bool bankNumberInName,
                                                        const TraceWorkbookFiles& files, DatabaseState& databases,
                                                        ExchangeState& exchange);

}  // namespace quillon
