#include "quillon/run/run_folders.h"

namespace quillon {

RunFolders RunFolders::InDocuments(const std::filesystem::path& documents, std::filesystem::path templateFolder,
                                   std::filesystem::path installRoot) {
  return {documents / kProgramFolderName, std::move(templateFolder), std::move(installRoot)};
}

}  // namespace quillon
