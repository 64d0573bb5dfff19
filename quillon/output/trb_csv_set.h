#pragma once
// The trace-back CSV set of one bank, written when no drive database is found: samples,
// fault indications, memo, sample-group parameters, title line and signal addresses, in
// TRB_<panel>_<date>_<time>/Trb<bank>_*.csv in the working folder.
#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/shell/codepage.h"
#include "quillon/requests/drive_identity.h"
#include "quillon/requests/trace_back_tables.h"

namespace quillon {

// "TRB_" + panel name without trailing blanks + "_" + YYYYMMDD + "_" + hhmmss.
std::string TrbFolderName(const std::string& safePanelName, const BankTimeRow& time);

// Writes the six files in order, texts in `codePage`. Returns an empty text, or why a folder or
// file could not be written (a name that would leave the working folder is refused, nothing is
// written then).
std::string WriteTrbCsvSet(const std::filesystem::path& workingFolder, const TraceBank& bank,
                           const platform::shell::CodePage& codePage);

}  // namespace quillon
