#pragma once
// Shows a folder in the desktop's file manager (what starting Explorer with a path does).
#include <filesystem>

namespace platform::shell {

// Starts "xdg-open <folder>"; false when it is missing, or ends at once saying it failed.
bool OpenFolderInFileManager(const std::filesystem::path& folder);

}  // namespace platform::shell
