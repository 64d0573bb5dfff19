#pragma once
// Writes one text file of the working folder: lines in the ANSI code page, each ended by
// CR LF, no quoting; a file of the same name is replaced. The name must stay inside the folder.
#include <filesystem>
#include <string>
#include <vector>

namespace quillon {

inline constexpr const char* kWorkingFolderName = "TRBSAVE";

// Creates AppFolder/TRBSAVE when missing. Returns an empty text, or why the file was not written.
std::string writeWorkingFolderFile(const std::filesystem::path& appFolder, const std::string& fileName,
                                   const std::vector<std::string>& lines);

}  // namespace quillon
