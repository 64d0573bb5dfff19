#pragma once
// The folders of a save run: the program folder in the user's documents with the working
// folder "TRBSAVE" in it, where the templates ship, and the root of the drive maker's install
// folders. Drive databases and product definitions are looked for in the same three places.
#include <filesystem>

#include "quillon/database/drive_db_location.h"

namespace quillon {

inline constexpr const char* kProgramFolderName = "Quillon";
inline constexpr const char* kWorkingFolderName = "TRBSAVE";

struct RunFolders {
  std::filesystem::path AppFolder;       // the user's documents folder + "Quillon"
  std::filesystem::path templateFolder;  // "TRB_TMP.mdb", "SET_TMP.mdb" and what ships beside them
  std::filesystem::path installRoot = "/opt";

  static RunFolders InDocuments(const std::filesystem::path& documents, std::filesystem::path templateFolder,
                                std::filesystem::path installRoot);

  // `AppFolder` + "TRBSAVE": every file of the run is written here first.
  std::filesystem::path workingFolder() const { return AppFolder / kWorkingFolderName; }
  // Where drive databases and product definitions are looked for, in that order.
  DriveDbSearch search() const { return {AppFolder, installRoot, templateFolder}; }
};

}  // namespace quillon
