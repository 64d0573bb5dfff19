#pragma once
// Folder and file services the save run needs from the file system: what the scripting
// object's DeleteFolder, CreateFolder and MoveFolder and the file attributes give on Windows.
// Each returns an empty text on success, otherwise a message naming the folder and the cause.
#include <filesystem>
#include <string>

namespace platform::shell {

bool FolderExists(const std::filesystem::path& folder);

// Creates the folder and any missing parents; an existing folder is fine.
std::string CreateFolder(const std::filesystem::path& folder);

// Deletes the folder with everything in it. With `force`, read-only entries (and read-only
// subfolders, which on this system protect what they hold) are made writable first.
std::string DeleteFolder(const std::filesystem::path& folder, bool force);

// Moves (renames) a folder; the target must not exist yet. Falls back to copy and delete
// when the target lies on another file system.
std::string MoveFolder(const std::filesystem::path& from, const std::filesystem::path& to);

// Read-only is the missing owner write bit.
bool IsReadOnly(const std::filesystem::path& entry);
std::string SetReadOnly(const std::filesystem::path& entry, bool readOnly);

// Every file and folder under `folder` back to normal attributes (writable by the owner).
std::string SetAttributesNormal(const std::filesystem::path& folder);

}  // namespace platform::shell
