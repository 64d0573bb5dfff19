#pragma once
// The trace-back workbook: one database file per recorded bank that names every traced signal
// with the drive database's symbols and scaling, with the bank's samples, groups and faults.
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/slots.h"
#include "quillon/database/drive_db_location.h"
#include "quillon/database/drive_db_lookups.h"
#include "quillon/database/lookup_results.h"
#include "quillon/requests/exchange.h"

namespace quillon {

// One entry of a bank's fault list; either part may never have been read.
struct BankFaultEntry {
  std::optional<double> code;            // FI code (a signed 16-bit value)
  std::optional<double> detectedSample;  // -1 = not detected
};

// What the workbook of one bank is made of, taken from the run's tables.
struct TraceBankInput {
  // Drive identity
  std::string DriveType, PanelName, SafePanelName, OrderNumber1, OrderNumber2;
  std::string InverterVoltage, InverterCurrent, InverterCapacity;
  std::string MotorOutput, MotorPoles, MotorVoltage, MotorCurrent, MotorFrequency, MotorSpeed;
  int InterfaceLevel = 0;  // 6 or more: the 32-bit samples

  // The bank
  std::string BankSoftVersion;
  std::array<std::string, 7> BankTime;       // fields 1-6: year, month, day, hour, minute, second
  std::array<BankFaultEntry, 31> BankFaults;  // entries 1-30
  std::array<int, 5> GroupDepth{};            // groups 1-5 at entries 0-4, in units of 64 samples
  std::array<int, 6> GroupSignals{};          // groups 1-5 at entries 1-5
  std::array<int, 6> GroupFaultIndex{};       // entries 1-5
  std::array<std::int32_t, 6> GroupSampling{};  // entries 1-5
  int MaxGroupDepth = 0;
  int SignalsPerBank = 0;
  std::vector<std::string> SignalAddress;  // signals 1..SignalsPerBank at the same indexes: "&H" + 4 or 8 digits

  // Sample `sample` (1-based) of signal `signal` (1-based) of this bank.
  std::function<std::int16_t(int signal, int sample)> Sample16;
  std::function<std::int32_t(int signal, int sample)> Sample32;
};

struct WorkbookSettings {
  DriveDbSearch search;             // where drive databases are looked for
  std::filesystem::path AppFolder;  // the working folder "TRBSAVE" is made in
  std::filesystem::path templateFolder;  // holds "TRB_TMP.mdb"
  std::string CommandLine;          // "/l" puts the bank number into the file name
  // The CSV set of the bank, written instead when no drive database is found.
  std::function<void(std::uint8_t bank)> WriteTrbCsvSet;
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

// The workbook's file name (without folder) for the bank, with the two fault names.
std::string TraceWorkbookName(std::uint8_t bank, const TraceBankInput& input, const std::string& commandLine,
                              const std::string& faultName1, const std::string& faultName2);

// Writes the workbook of `bank`, or the CSV set when no drive database is found. A failure
// ends the run through `exchange` (AbortFlag and ErrorText); files already saved stay and an
// existing workbook of the same name is replaced only by a complete one.
// Returns the workbook written, if any.
std::optional<std::filesystem::path> SaveTrb_mdb(std::uint8_t bank, const TraceBankInput& input,
                                                 const WorkbookSettings& settings, DatabaseState& databases,
                                                 ExchangeState& exchange);

}  // namespace quillon
