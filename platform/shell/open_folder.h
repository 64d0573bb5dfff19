#pragma once
// Shows a folder in the desktop's file manager (what starting Explorer with a path does).
#include <filesystem>

namespace platform::shell {

// Starts "xdg-open <folder>" detached; false when it could not be started.
bool OpenFolderInFileManager(const std::filesystem::path& folder);

}  // namespace platform::shell
