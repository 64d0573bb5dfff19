#pragma once
// The long names of setting-parameter symbols, from the drive database of the save's drive
// type and firmware version where one is found (the same folders a save run looks in).
#include <filesystem>
#include <string>

#include "quillon/database/drive_db_location.h"
#include "quillon/view/save_diff.h"

namespace quillon::view {

// Names nothing when no drive database is found or it cannot be read; `found` is set to the
// database used, or left empty.
SettingNames DriveDbSettingNames(const DriveDbSearch& search, const DriveInfo& drive, std::filesystem::path* found = nullptr);

}  // namespace quillon::view
