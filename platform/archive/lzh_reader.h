#pragma once
// LZH archives read from their headers before anything of them is extracted: where the
// archive ends, the names its members are stored under, and whether each member decodes and
// would land inside the folder it is extracted into.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/archive/lzh_names.h"

namespace platform::archive {

struct LzhLayout {
  std::size_t extent = 0;          // bytes from the first header up to and with the end mark
  std::vector<std::string> names;  // stored names, directory part first, '/' between parts
  bool endMark = true;             // false: the bytes end right after the last member
};

// The headers from byte 0 on, one member after another, up to the end mark or, as other LHA
// programs read archives, up to the end of the bytes right after a member. Nothing when they
// do not chain that way (unknown header level, a size past the bytes); `why` says where it
// broke. Level-2 headers of the OS-9/68k LHA, whose size field is two bytes short, are read as
// that program meant them.
std::optional<LzhLayout> ReadLzhLayout(std::span<const std::uint8_t> bytes, std::string& why);

// Whether `bytes` hold a whole archive, the first part of one (every header read so far is
// sound, but the bytes end inside a member or before the end mark), or no archive at all.
enum class LzhPrefix { Whole, Unfinished, NotAnArchive };
LzhPrefix ClassifyLzhPrefix(std::span<const std::uint8_t> bytes);

// False for a name that would leave the folder it is extracted into: empty, absolute, with a
// drive letter or with a ".." part ('/', '\' and the 0xFF of old archivers all separate parts).
bool NameStaysInside(std::string_view storedName);

// What an extraction may write. The caps are checked against the sizes the headers declare,
// before anything is written (the decoder never writes more than a header declares).
struct ExtractPolicy {
  static constexpr std::uint64_t kMiB = 1024 * 1024;
  std::uint64_t maxMemberBytes = 32 * kMiB;  // one file
  std::uint64_t maxTotalBytes = 64 * kMiB;   // all files together
  std::uint64_t spareBytes = 1 * kMiB;       // left free on the disk besides them
  // The code page the archive's names are read in (see lzh_names.h).
  std::string nameCodePage = kDefaultNameCodePage;
  // Why an entry of this name ('/' between parts, no trailing '/') is refused; empty to take it.
  std::function<std::string(const std::string& name)> refuseName;
  // Whether every member is decoded and checked once before extraction starts. Extraction
  // checks each member as it writes it and undoes everything on failure anyway; the extra
  // pass also verifies members whose data the decoder hands out altered (MacBinary).
  enum class Check { WholeArchiveFirst, EachMemberAsWritten };
  Check check = Check::WholeArchiveFirst;
};

// Reads the archive file with the LHA decoder: every member must decode with a matching CRC,
// no member may be a link, the decoder must find the members `layout` lists, no name may come
// twice or below a file of the same name, and the policy must allow every member. Empty when the
// archive may be extracted; otherwise why not.
std::string CheckArchiveFile(const std::filesystem::path& file, const LzhLayout& layout,
                             const ExtractPolicy& policy = {});

// The whole file's bytes; false when it cannot be opened or read to its end.
bool ReadFileBytes(const std::filesystem::path& file, std::vector<std::uint8_t>& bytes);

// Writes every entry of the archive into `folder` (made when missing, subfolders as needed, time stamps
// kept, files of the same name replaced), all or nothing: after the checks of CheckArchiveFile
// and a look at the folder (nothing in the way, room for every file) the entries are written
// into a hidden folder inside it and only then moved into place; a failure anywhere leaves the
// folder as it was (or absent). Empty when done; otherwise why not.
std::string ExtractArchiveFile(const std::filesystem::path& file, const std::filesystem::path& folder,
                               const ExtractPolicy& policy = {});

}  // namespace platform::archive
