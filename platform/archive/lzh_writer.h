#pragma once
// Packs a folder into an LZH archive: every file under it, subfolders included, under its
// relative path; "-lh5-" where that shrinks the file, "-lh0-" otherwise. The archive is
// written beside its final name, flushed, read back with the decoder and only then put in
// place, so a failure never leaves a half archive behind.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/archive/lzh_names.h"

namespace platform::archive {

struct PackedFolder {
  std::vector<std::filesystem::path> files;  // what the archive holds, in archive order
};

// False with `error` set when anything could not be read, written or read back, or when an
// archive of that name exists already (it is kept as it is); no file of the folder was touched.
// Names are stored in `nameCodePage` (see lzh_names.h).
bool WriteLzhArchive(const std::filesystem::path& archive, const std::filesystem::path& folder,
                     PackedFolder& packed, std::string& error,
                     const std::string& nameCodePage = kDefaultNameCodePage);

}  // namespace platform::archive
