#pragma once
// The drive status file: the saving program's version, the drive's interface version, clock,
// sequence output words and PR codes, as "name, value" lines.
#include <filesystem>
#include <string>
#include <vector>

#include "quillon/output/setpoint_files.h"
#include "quillon/requests/status_requests.h"

namespace quillon {

struct ProgramVersion {
  int major = 0;
  int minor = 0;
};

std::string DriveStatusFileName(const std::string& SafePanelName);  // "DriveSts_" + panel + ".csv"

// A status text read as a hexadecimal literal: up to four digits as signed 16-bit, more as
// signed 32-bit; an empty or non-hex text gives 0.
int hexLiteralValue(const std::string& text);

// Always 15 lines.
std::vector<std::string> DriveStatusFileLines(const DriveStatusTable& table, const std::string& interfaceVersionText,
                                              ProgramVersion version);

std::string WriteDriveStatusFile(const std::filesystem::path& workingFolder, const std::string& SafePanelName,
                                 const DriveStatusTable& table, const std::string& interfaceVersionText,
                                 ProgramVersion version, const platform::shell::CodePage& codePage);

}  // namespace quillon
