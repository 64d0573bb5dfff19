#pragma once
// Every line of the record and status files checked against the simulated drive's own images,
// for the in-process record steps and for whole runs of the program alike; reading files back.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "drivesim/record_images.h"

namespace quillon_test {

// The lines of a text without their CR LF; a last line without one is marked "unterminated: ".
std::vector<std::string> CrlfLines(const std::string& text);
// A file's whole text, and its lines as above.
std::string FileText(const std::filesystem::path& file);
std::vector<std::string> FileLines(const std::filesystem::path& file);

// Where the simulated drive's record files of one panel lie, and what the drive reported.
struct SavedRecordFiles {
  std::filesystem::path folder;      // the working folder (or its extracted copy)
  std::string panel;                 // the file names' panel part
  std::string interfaceVersionText;  // as "QT" gave it
};

// "Set_Sram_": `lines` words from `start`, the pairs of each 32-bit word swapped.
void ExpectSetpointFile(const SavedRecordFiles& saved, const drivesim::RecordImages& drive, std::int64_t start,
                        std::int64_t lines);
// "TroubleRecord_", "EventCount_" and "DriveSts_" (program version 2.1).
void ExpectRecordAndStatusFiles(const SavedRecordFiles& saved, const drivesim::RecordImages& drive);
// "Evtlg_": 64 records of the event-log area.
void ExpectEventLogFile(const SavedRecordFiles& saved, const drivesim::RecordImages& drive);

}  // namespace quillon_test
