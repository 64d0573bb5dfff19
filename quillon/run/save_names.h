#pragma once
// Names the save run builds: the panel name made safe for file names, the dated target of
// the working folder, and the archiver's pack command.
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace quillon {

// `PanelName` without trailing blanks, with each of \ / * ? < > | " : ; and the pair CR LF
// replaced by "_". NUL, which no file name can hold, and a name of only dots, which would
// name the folder itself or its parent, are replaced as well.
std::string SafePanelNameOf(std::string_view panelName);

// "TRBSAVE_" + YYYYMMDD + "_" + hhmmss of the given local time.
std::string DatedSaveName(const std::tm& localTime);

// a "<archive>" "<folder>"\ *.* -d -n1 -gm1
std::string PackCommand(const std::filesystem::path& archive, const std::filesystem::path& folder);

}  // namespace quillon
