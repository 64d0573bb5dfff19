#pragma once
// Finding the drive database of a drive type and firmware version among the known folders.
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace quillon {

struct DriveDbSearch {
  std::filesystem::path dataFolder;     // the program's folder under the user's documents
  std::filesystem::path installRoot = "/opt";  // stands for "c:\" of the maker's install folders
  std::filesystem::path programFolder;  // where the program and its templates are installed
};

// The five candidate paths in the order they are tried. Empty when the texts cannot name a
// file inside those folders (empty, "." or "..", or holding a path separator).
std::vector<std::filesystem::path> DriveDbCandidates(const DriveDbSearch& search, std::string_view driveType,
                                                     std::string_view version);

// The first candidate that exists. Below the data, install and program folders, folder and
// file names are matched without regard to case, as on the system the databases come from.
std::optional<std::filesystem::path> LocateDriveDb(const DriveDbSearch& search, std::string_view driveType,
                                                   std::string_view version);

// The existing path that matches `relative` below `base` without regard to case, if any.
std::optional<std::filesystem::path> FindWithoutCase(const std::filesystem::path& base,
                                                     const std::filesystem::path& relative);

}  // namespace quillon
