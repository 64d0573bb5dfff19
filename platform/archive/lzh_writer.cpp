#include "platform/archive/lzh_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "platform/archive/crc16.h"
#include "platform/archive/lh5_encoder.h"
#include "platform/archive/lzh_format.h"
#include "platform/archive/lzh_reader.h"
#include "platform/archive/shared_work.h"

namespace platform::archive {
namespace fs = std::filesystem;
namespace {

constexpr std::uint64_t kMaxMemberSize = std::numeric_limits<std::uint32_t>::max();

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

struct FolderEntry {
  fs::path path;
  std::string name;  // relative, '/' between parts
  bool directory = false;
};

bool ListFolder(const fs::path& folder, std::vector<FolderEntry>& entries, std::string& error) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    error = "the folder " + folder.string() + " does not exist";
    return false;
  }
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const bool directory = it->is_directory(ec);
    if (!directory && !it->is_regular_file(ec)) continue;  // sockets, pipes: nothing to keep
    entries.push_back({it->path(), it->path().lexically_relative(folder).generic_string(), directory});
  }
  if (ec) {
    error = "the folder " + folder.string() + " cannot be listed: " + ec.message();
    return false;
  }
  // Sorted by name, so a folder's entry comes before its files and archives are reproducible.
  std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return true;
}

bool ReadWholeFile(const fs::path& file, std::vector<std::uint8_t>& bytes, std::string& error) {
  if (!ReadFileBytes(file, bytes)) {
    error = "the file " + file.string() + " cannot be read";
    return false;
  }
  if (bytes.size() > kMaxMemberSize) {
    error = "the file " + file.string() + " is larger than an archive entry can hold";
    return false;
  }
  return true;
}

EntryInfo InfoOf(const FolderEntry& entry, const std::string& nameCodePage) {
  EntryInfo info;
  info.name = StoredName(entry.name, nameCodePage);
  info.directory = entry.directory;
  struct stat st {};
  if (::stat(entry.path.c_str(), &st) == 0) {
    info.modified = static_cast<std::uint32_t>(std::max<time_t>(st.st_mtime, 0));
    info.unixMode = static_cast<std::uint16_t>(st.st_mode);
  }
  return info;
}

// One entry, header and data, appended to `out`.
bool AppendEntry(const FolderEntry& entry, const std::string& nameCodePage, std::vector<std::uint8_t>& out,
                 std::string& error) {
  EntryInfo info = InfoOf(entry, nameCodePage);
  if (entry.directory) {
    const std::vector<std::uint8_t> header = Level2Header(info, kDirectoryMethod, 0);
    out.insert(out.end(), header.begin(), header.end());
    return true;
  }
  std::vector<std::uint8_t> data;
  if (!ReadWholeFile(entry.path, data, error)) return false;
  info.originalSize = static_cast<std::uint32_t>(data.size());
  info.dataCrc = Crc16(data.data(), data.size());
  // Only a shorter stream is worth the decoding; empty files are stored.
  std::optional<std::vector<std::uint8_t>> packed;
  if (!data.empty()) packed = EncodeLh5(data.data(), data.size(), data.size() - 1);
  const std::vector<std::uint8_t>& body = packed ? *packed : data;
  const std::vector<std::uint8_t> header =
      Level2Header(info, packed ? kLh5Method : kStoredMethod, static_cast<std::uint32_t>(body.size()));
  out.insert(out.end(), header.begin(), header.end());
  out.insert(out.end(), body.begin(), body.end());
  return true;
}

bool WriteDurably(const fs::path& file, const std::vector<std::uint8_t>& bytes, std::string& error) {
  std::unique_ptr<std::FILE, FileCloser> out(std::fopen(file.c_str(), "wb"));
  bool ok = out && std::fwrite(bytes.data(), 1, bytes.size(), out.get()) == bytes.size() &&
            std::fflush(out.get()) == 0 && ::fsync(::fileno(out.get())) == 0;
  const int cause = errno;
  if (out && std::fclose(out.release()) != 0) ok = false;
  if (!ok) error = "the archive " + file.string() + " cannot be written: " + std::strerror(cause);
  return ok;
}

// The archive as written, decoded again entry by entry with its CRCs.
bool ReadBack(const fs::path& file, const std::vector<FolderEntry>& entries, const std::string& nameCodePage,
              std::string& error) {
  std::vector<std::uint8_t> image;
  if (!ReadWholeFile(file, image, error)) return false;
  std::string why;
  std::optional<LzhLayout> layout = ReadLzhLayout(image, why);
  if (layout && layout->names.size() != entries.size()) why = "it does not hold every file";
  for (std::size_t i = 0; layout && why.empty() && i < entries.size(); ++i) {
    std::string expected = StoredName(entries[i].name, nameCodePage);
    if (entries[i].directory) expected += "/";
    // The layout shows every separator byte as '/', '\\' too (a trail byte in Shift-JIS).
    std::replace(expected.begin(), expected.end(), '\\', '/');
    if (layout->names[i] != expected) why = "the entry \"" + entries[i].name + "\" is missing";
  }
  ExtractPolicy policy;
  policy.nameCodePage = nameCodePage;
  policy.maxMemberBytes = policy.maxTotalBytes = kMaxMemberSize * entries.size();
  if (layout && why.empty()) why = CheckArchiveFile(file, *layout, policy);
  if (!layout || !why.empty()) {
    error = "the archive " + file.string() + " does not read back: " + why;
    return false;
  }
  return true;
}

}  // namespace

bool WriteLzhArchive(const fs::path& archive, const fs::path& folder, PackedFolder& packed, std::string& error,
                     const std::string& nameCodePage) {
  packed.files.clear();
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder, entries, error)) return false;
  if (entries.empty()) {
    error = "the folder " + folder.string() + " holds no files";
    return false;
  }
  // Each entry read and encoded on its own, several at once; then put together in order.
  struct Prepared {
    std::vector<std::uint8_t> bytes;
    std::string error;
    bool ok = false;
  };
  std::vector<Prepared> prepared(entries.size());
  ForEachIndexShared(entries.size(), [&](std::size_t i) {
    prepared[i].ok = AppendEntry(entries[i], nameCodePage, prepared[i].bytes, prepared[i].error);
  });
  std::size_t total = 1;
  for (const Prepared& entry : prepared) {
    if (!entry.ok) {
      error = entry.error;
      return false;
    }
    total += entry.bytes.size();
  }
  std::vector<std::uint8_t> image;
  image.reserve(total);
  for (Prepared& entry : prepared) {
    image.insert(image.end(), entry.bytes.begin(), entry.bytes.end());
    std::vector<std::uint8_t>().swap(entry.bytes);
  }
  image.push_back(kArchiveEnd);

  fs::path part = archive;
  part += ".part";
  std::error_code ec;
  if (!WriteDurably(part, image, error) || !ReadBack(part, entries, nameCodePage, error)) {
    fs::remove(part, ec);
    return false;
  }
  // An archive already under that name (two runs in one second) is never replaced.
  if (::link(part.c_str(), archive.c_str()) != 0) {
    error = "the archive " + archive.string() + " cannot be put in place: " +
            (errno == EEXIST ? std::string("an archive of that name exists") : std::strerror(errno));
    fs::remove(part, ec);
    return false;
  }
  fs::remove(part, ec);
  for (const FolderEntry& entry : entries)
    if (!entry.directory) packed.files.push_back(entry.path);
  return true;
}

}  // namespace platform::archive
