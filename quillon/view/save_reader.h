#pragma once
// Reads a save in any of the forms a save run leaves: the dated archive (.lzh), a moved save
// folder (TRBSAVE_...), one trace-back workbook (.mdb) or one CSV set folder
// (TRB_<panel>_<date>_<time>), with or without the setting-parameter workbook.
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "platform/shell/codepage.h"
#include "quillon/view/save_model.h"

namespace quillon::view {

// A save that cannot be read: a damaged archive, workbook or CSV set, or a path that holds
// none. The message names the file and what is wrong with it.
class SaveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Everything is in memory when it returns: an archive's temporary folder is gone again.
// `codePage` is the one the save was made in: of its CSV files and its archive's member names.
// Throws SaveError.
SaveModel ReadSave(const std::filesystem::path& path, const platform::shell::CodePage& codePage);

// The pieces ReadSave puts together, each throwing SaveError.
Bank ReadTraceWorkbook(const std::filesystem::path& file, DriveInfo& drive);
void ReadSettingWorkbook(const std::filesystem::path& file, SaveModel& model);
Bank ReadCsvSet(const std::filesystem::path& folder, int bankNumber, DriveInfo& drive,
                const platform::shell::CodePage& codePage);
// The record files of a folder whose tables the model does not hold yet.
void ReadRecordFiles(const std::filesystem::path& folder, SaveModel& model, const platform::shell::CodePage& codePage);

// Fills the drive's interface version and clock from the drive status table.
void TakeDriveStatus(SaveModel& model);

// Upper limits of a bank, beyond which a file is taken as damaged.
inline constexpr std::size_t kMaxSignals = 255;
inline constexpr std::size_t kMaxSamples = 255 * 64;

// The largest file a save run writes is the trace workbook of the deepest bank: one "Data"
// row per sample with a key and 255 Single values. At worst each row fills a 4 KiB database
// page of its own (256 values x 9 bytes stay under a page but two rows do not fit one), so
// 16320 rows x 4 KiB; its other tables and the CSV set of the same bank (at most 12 characters
// a value) stay well under that. 8 MiB more covers the small tables and page-level slack.
inline constexpr std::uint64_t kMiB = 1024 * 1024;
inline constexpr std::uint64_t kDatabasePageBytes = 4096;
inline constexpr std::uint64_t kLargestSaveFileBytes = kMaxSamples * kDatabasePageBytes + 8 * kMiB;
// Eight such banks, plus the setting-parameter workbook, configuration file and record files,
// which even for the largest memory image stay below 32 MiB together.
inline constexpr std::uint64_t kMaxBanksInSave = 8;
inline constexpr std::uint64_t kSettingFilesBytes = 32 * kMiB;
inline constexpr std::uint64_t kLargestSaveBytes = kMaxBanksInSave * kLargestSaveFileBytes + kSettingFilesBytes;

}  // namespace quillon::view
