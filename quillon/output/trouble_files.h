#pragma once
// The trouble records and event counters read from the drive, as two CSV files.
#include <filesystem>
#include <string>
#include <vector>

#include "quillon/output/setpoint_files.h"
#include "quillon/requests/record_requests.h"

namespace quillon {

std::string TroubleRecordFileName(const std::string& SafePanelName);  // "TroubleRecord_" + panel + ".csv"
std::string EventCountFileName(const std::string& SafePanelName);     // "EventCount_" + panel + ".csv"

// r,yyyy/mm/dd hh:mm:ss,code1,code2 for records 1 to 31.
std::vector<std::string> TroubleRecordFileLines(const TroubleTables& tables);
// e,yyyy/mm/dd hh:mm:ss,count for entries 1 to 15.
std::vector<std::string> EventCountFileLines(const TroubleTables& tables);

// Writes the trouble-record file, then the event-count file. Returns an empty text, or why a
// file could not be written (the second is not attempted after the first failed).
std::string WriteTroubleFiles(const std::filesystem::path& workingFolder, const std::string& SafePanelName,
                              const TroubleTables& tables, const platform::shell::CodePage& codePage);

}  // namespace quillon
