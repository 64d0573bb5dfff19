#pragma once
// The user's documents folder: the XDG documents folder when the user has one configured,
// otherwise ~/Documents. An explicit folder (the --documents option) replaces both.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform::shell {

// XDG_DOCUMENTS_DIR from the text of a user-dirs.dirs file, with $HOME expanded.
// Empty when the file does not name one, or names $HOME itself (XDG's "disabled").
std::optional<std::filesystem::path> DocumentsDirFromUserDirs(std::string_view userDirsText,
                                                              const std::filesystem::path& home);

// The documents folder of this user; `override` wins when it is set.
std::filesystem::path DocumentsFolder(const std::optional<std::filesystem::path>& override = {});

}  // namespace platform::shell
