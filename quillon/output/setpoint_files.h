#pragma once
// The setting-parameter and event-log memory images as saved, before any conversion: one line
// per 16-bit word with its address, and one line per 16-byte event record with its time stamp.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/shell/codepage.h"
#include "quillon/requests/memory_requests.h"

namespace quillon {

// "Set_Sram_" / "Evtlg_" + panel name without trailing blanks + ".csv".
std::string SetpointFileName(const std::string& SafePanelName);
std::string EventLogFileName(const std::string& SafePanelName);

// i,0x<address>,<word>, for i = 1 while i <= span / 2; words never read are 0.
std::vector<std::string> SetpointFileLines(const MemoryTables& tables);
// k,yyyy/mm/dd hh:mm:ss,w2,w1,w4,w3,w6 for each whole record of eight words.
std::vector<std::string> EventLogFileLines(const MemoryTables& tables);

// Each writes into the working folder in `codePage` and returns an empty text, or why the file
// could not be written.
std::string WriteSetpointFile(const std::filesystem::path& workingFolder, const std::string& SafePanelName,
                              const MemoryTables& tables, const platform::shell::CodePage& codePage);
std::string WriteEventLogFile(const std::filesystem::path& workingFolder, const std::string& SafePanelName,
                              const MemoryTables& tables, const platform::shell::CodePage& codePage);

// Trailing blanks removed, as every file name of the working folder uses the panel name.
std::string PanelNameForFiles(const std::string& safePanelName);

}  // namespace quillon
