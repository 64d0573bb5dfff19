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
#include "quillon/requests/drive_identity.h"
#include "quillon/requests/exchange.h"

namespace quillon {

inline constexpr const char* kSetpointTemplateName = "SET_TMP.mdb";

// Where the conversion reads and writes, and what it stamps the workbook with.
struct SaveFolderConversion {
  std::filesystem::path workingFolder;   // the CSV files; the workbook is written beside them
  DriveDbSearch folders;                 // drive databases, product definitions; "SET_TMP.mdb" in its program folder
  std::function<std::tm()> now;          // local time for the workbook name
  ProgramVersion version;                // of the saving program, for "DriveSts"
  std::optional<OtherBanks> otherBanks;  // "OtherTRB", only when given
  platform::shell::CodePage codePage;              // of the CSV files and the drive's character items
};

enum class ConvertOutcome { Converted, Skipped, Failed };

// Skipped without the drive database of `drive`'s type and firmware, or without a setting-
// parameter file. `labelDummy` is the window's scratch caption; `exchange.ErrorText` gets the failure.
ConvertOutcome ConvertSaveFolder(const DriveIdentity& drive, const SaveFolderConversion& job, DatabaseState& databases,
                                 ExchangeState& exchange, std::string& labelDummy);

// The workbook's name: the "Set_Sram_" file's name with ".csv" replaced by
// "_" + yyyymmdd + "_" + hhmmss + ".mdb".
std::string SetpointWorkbookName(const std::string& csvName, const std::tm& now);

}  // namespace quillon
