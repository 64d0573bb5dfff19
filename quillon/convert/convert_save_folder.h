#pragma once

#include <filesystem>
#include <string>

#include "quillon/requests/exchange.h"

namespace quillon {

// What the conversion needs from a save run: where the run's CSV files are,
// how the drive identifies itself and where its database lives.
struct ConvertRun {
  std::filesystem::path appFolder;      // program folder (templates, product definitions)
  std::filesystem::path workingFolder;  // folder holding the run's CSV files
  std::string safePanelName;            // panel name usable in file names
  std::string commandLine;              // "/l" adds the "OtherTRB" table
  int driveType = 0;
  std::string driveName;                // identity texts
  std::string softwareVersion;
  std::filesystem::path driveDatabase;  // the drive database (.mdb / SQLite)
};

// Turns the run's "Set_Sram_" and record CSV files into the setting-parameter
// workbook, the record tables and the drive configuration file (.drc).
// The CSV files are deleted only after everything was written and closed;
// on a failure every CSV stays and state.ErrorText says why.
// labelDummy is the scratch caption shown while converting.
bool ConvertSaveFolder(const ConvertRun& run, std::string& labelDummy, ExchangeState& state);

}  // namespace quillon
