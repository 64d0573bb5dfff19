#pragma once
// Conversion of the save folder after the downloads: the setting-parameter workbook, the drive
// configuration file beside it and the record tables, from the CSV files of the working folder.
// The CSV files are deleted only after everything was written and closed; a failure keeps
// them all and reports why in ErrorText.
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "quillon/convert/record_tables.h"
#include "quillon/database/drive_db_location.h"
#include "quillon/database/trace_workbook.h"
#include "quillon/requests/exchange.h"

namespace quillon {

// What the conversion needs from the run.
struct ConvertSaveFolderRun {
  std::filesystem::path AppFolder;      // the working folder "TRBSAVE" lies in
  std::filesystem::path programFolder;  // holds "SET_TMP.mdb"
  DriveDbSearch search;                 // where drive databases are looked for
  std::filesystem::path installRoot = "/opt";  // product definitions of the configuration tool
  std::string SafePanelName;
  std::string CommandLine;              // "/l" adds "OtherTRB"
  std::string DriveType;
  std::string DriveSoftVersion;
  int InterfaceLevel = 0;               // the drive's; the image's start decides it again
  int programMajor = 0, programMinor = 0;
  int RecordedBankCount = 0;
  int BankCount = 0;
  // Reads a bank's faults again; after a failed request the entries read before.
  std::function<OtherBankFaults(int bank)> readBankFaults;
  std::function<std::tm()> now;         // local time for the workbook name
};

enum class ConvertOutcome { Converted, Skipped, Failed };

// `labelDummy` is the window's scratch caption; `exchange.ErrorText` gets the failure.
ConvertOutcome ConvertSaveFolder(const ConvertSaveFolderRun& run, DatabaseState& databases,
                                 ExchangeState& exchange, std::string& labelDummy);

// The workbook's name: the "Set_Sram_" file's name with ".csv" replaced by
// "_" + yyyymmdd + "_" + hhmmss + ".mdb".
std::string SetpointWorkbookName(const std::string& csvName, const std::tm& now);

}  // namespace quillon
