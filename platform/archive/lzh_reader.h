#pragma once
// LZH archives read from their headers before anything of them is extracted: where the
// archive ends, the names its members are stored under, and whether each member decodes and
// would land inside the folder it is extracted into.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform_archive {

struct LzhLayout {
  std::size_t extent = 0;          // bytes from the first header up to and with the end mark
  std::vector<std::string> names;  // stored names, directory part first, '/' between parts
};

// The headers from byte 0 on, one member after another, up to the end mark. Nothing when they
// do not chain that way (unknown header level, a size past the bytes, no end mark); `why` says
// where it broke.
std::optional<LzhLayout> ReadLzhLayout(std::span<const std::uint8_t> bytes, std::string& why);

// Whether `bytes` hold a whole archive, the first part of one (every header read so far is
// sound, but the bytes end inside a member or before the end mark), or no archive at all.
enum class LzhPrefix { Whole, Unfinished, NotAnArchive };
LzhPrefix ClassifyLzhPrefix(std::span<const std::uint8_t> bytes);

// False for a name that would leave the folder it is extracted into: empty, absolute, with a
// drive letter or with a ".." part ('/', '\' and the 0xFF of old archivers all separate parts).
bool NameStaysInside(std::string_view storedName);

// Reads the archive file with the LHA decoder: every member must decode with a matching CRC,
// no member may be a link, and the decoder must find the members `layout` lists. Empty when
// the archive may be extracted; otherwise why not.
std::string CheckArchiveFile(const std::filesystem::path& file, const LzhLayout& layout);

// The whole file's bytes; false when it cannot be opened or read to its end.
bool ReadFileBytes(const std::filesystem::path& file, std::vector<std::uint8_t>& bytes);

// How much of the archive is checked before anything is written.
enum class ExtractCheck {
  WholeArchiveFirst,    // every member decoded and checked first: a damaged archive writes nothing
  EachMemberAsWritten,  // one decoding pass, each member checked as it is written; a damaged
                        // member stops it, those before stay. For a fresh folder of the caller's
                        // own that it removes when extraction fails.
};

// Writes every entry of the archive into `folder` (subfolders made as needed, time stamps
// kept), after the same checks as CheckArchiveFile: a damaged archive or an entry outside the
// folder writes nothing. Empty when done; otherwise why not.
std::string ExtractArchiveFile(const std::filesystem::path& file, const std::filesystem::path& folder,
                               ExtractCheck check = ExtractCheck::WholeArchiveFirst);

}  // namespace platform_archive
