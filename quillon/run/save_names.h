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
// name the folder itself or its parent, are replaced as well. A name longer than
// kLongestSafePanelName bytes is cut (at a character's start) so that every file name made
// from it fits the file system.
inline constexpr std::size_t kLongestSafePanelName = 200;
std::string SafePanelNameOf(std::string_view panelName);

// "TRBSAVE_" + YYYYMMDD + "_" + hhmmss of the given local time.
std::string DatedSaveName(const std::tm& localTime);

// DatedSaveName + "_incomplete": where the working folder that a run left behind is kept when
// the next run starts.
std::string IncompleteSaveName(const std::tm& localTime);

// `folder`/`name` + `extension` when nothing of that name exists there, otherwise the same
// with "_2", "_3" ... after `name`: an existing file or folder is never replaced.
std::filesystem::path FirstFreeName(const std::filesystem::path& folder, const std::string& name,
                                    const std::string& extension = "");

inline constexpr const char* kArchiveExtension = ".lzh";

// The dated target of the first second, from `localTime` on, for which `folder` holds neither
// the dated folder nor the dated archive: two runs within one second both keep their save, and
// the name keeps its form. (After a day of taken names the last one tried is given; the
// archiver and the folder move refuse to replace it.)
std::filesystem::path FreeDatedTarget(const std::filesystem::path& folder, std::tm localTime);

// a "<archive>" "<folder>"\ *.* -d -n1 -gm1
std::string PackCommand(const std::filesystem::path& archive, const std::filesystem::path& folder);

}  // namespace quillon
